#include "tests/utility/setup/SetupDesk.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "platform/ui/MsgBox.h"
#include "tests/support/Clicks.h"
#include "tests/support/TestHelpers.h"
#include "utility/shell/Form.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString W = QStringLiteral("frmMasterSlave");
const QString Warning = QStringLiteral("Please turn motors OFF before making any master-slave assignment.");

// Three free axes in mode 1 with ratio 1, and axis 4 without a motor.
void freeAxes(SimController& sim)
{
    for (int a = 1; a <= 3; ++a) {
        sim.setValue(a, "SS", QByteArray::number(a));
        sim.setValue(a, "TJ", "1");
        sim.setValue(a, "GR", "1");
    }
    sim.setValue(4, "QM", "0");
}

QCheckBox* slaveBox(SetupDesk& d, int i)
{
    return d.child<QCheckBox>(W, QStringLiteral("chkSlveAxis_%1").arg(i));
}

} // namespace

TEST(frmMasterSlave, WarnsFirstReadsTheTableAndAppliesInTheOrderTheModeNeeds)
{
    SetupDesk d(4);
    freeAxes(d.sim());
    int linesAtWarning = -1;
    d.rig.answer = [&](const ShellRig::Box& box) {
        if (box.prompt == Warning)
            linesAtWarning = int(d.lines().size());
        return int(platform::vbOK);
    };
    d.dispatch("mnuSetupMotionMasterSlaving");
    ASSERT_NE(d.form(W), nullptr);
    EXPECT_EQ(linesAtWarning, 0);
    ASSERT_FALSE(d.rig.boxes.isEmpty());
    EXPECT_EQ(d.rig.boxes.at(0).style, platform::vbOKOnly);
    EXPECT_EQ(d.rig.boxes.at(0).title, QStringLiteral("Moxtrel"));
    const QStringList opening = d.lines();
    ASSERT_GE(opening.size(), 13);
    EXPECT_EQ(opening.mid(0, 13), QStringList({"1QM?\r", "1SS?\r", "1TJ?\r", "1GR?\r", "2QM?\r", "2SS?\r",
                                               "2TJ?\r", "2GR?\r", "3QM?\r", "3SS?\r", "3TJ?\r", "3GR?\r",
                                               "4QM?\r"}));
    EXPECT_FALSE(d.child<QRadioButton>(W, "optMstrAxis_3")->isEnabled());
    EXPECT_TRUE(d.child<QRadioButton>(W, "optMstrAxis_0")->isChecked());

    // Axis 2 becomes a slave of axis 1: ticked and greyed; shown clear under master 3.
    Clicks::click(slaveBox(d, 1));
    EXPECT_TRUE(slaveBox(d, 1)->isChecked());
    EXPECT_FALSE(slaveBox(d, 1)->isEnabled());
    d.click(W, "optMstrAxis_2");
    EXPECT_TRUE(slaveBox(d, 1)->isEnabled());
    EXPECT_FALSE(slaveBox(d, 1)->isChecked());

    // A following mode for axis 2, and a ratio typed in a comma locale.
    LocaleScope comma(QLocale(QLocale::German, QLocale::Germany));
    d.click(W, "optSlvAxis_1");
    d.click(W, "optSlveMode_4");
    d.type(W, "txtGearRatio", "0,5");
    d.clearLines();
    d.click(W, "cmdAssign");
    EXPECT_EQ(d.lines(), QStringList({"1TJ1\r", "1SS1\r", "1GR1\r", "2SS1\r", "2TJ5\r", "2GR0.5\r", "3TJ1\r",
                                      "3SS3\r", "3GR1\r"}));

    // A ratio that is no number is refused and nothing changes.
    d.rig.boxes.clear();
    d.type(W, "txtGearRatio", "fast");
    EXPECT_EQ(d.rig.boxes.size(), 1);

    // Cancel shows the table as it was read (the master selection asks the motors again), sends
    // it and closes.
    d.clearLines();
    d.click(W, "cmdUnassign");
    EXPECT_EQ(d.lines(), QStringList({"1QM?\r", "2QM?\r", "4QM?\r", "1TJ1\r", "1SS1\r", "1GR1\r", "2TJ1\r", "2SS2\r", "2GR1\r", "3TJ1\r",
                                      "3SS3\r", "3GR1\r"}));
    EXPECT_EQ(d.form(W), nullptr);
}

TEST(frmMasterSlave, SlavingAndModeRulesRefuseWithTheirMessages)
{
    SetupDesk d(4);
    freeAxes(d.sim());
    d.sim().setValue(1, "SS", "2"); // axis 1 follows axis 2
    d.sim().setValue(1, "TJ", "4");
    d.dispatch("mnuSetupMotionMasterSlaving");
    d.rig.boxes.clear();

    // Master 1 is itself a slave.
    Clicks::click(slaveBox(d, 2));
    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_EQ(d.rig.boxes.at(0).prompt, QStringLiteral("The selected master axis is a slave of axis-2.\r\n"
                                                       "Cannot slave an axis to another slave axis."));
    EXPECT_FALSE(slaveBox(d, 2)->isChecked());

    // Axis 2 is a master of axis 1; axis 1 is a slave of axis 2.
    d.click(W, "optMstrAxis_2");
    d.rig.boxes.clear();
    Clicks::click(slaveBox(d, 1));
    Clicks::click(slaveBox(d, 0));
    EXPECT_EQ(d.prompts(), QStringList({"Axis-2 is a master of axis-1.", "Axis-1 is a slave of axis-2."}));

    // "Velocity" is refused for a free axis and the stored mode shows again; a slave takes it.
    d.rig.boxes.clear();
    d.click(W, "optSlvAxis_2");
    d.click(W, "optSlveMode_5");
    EXPECT_EQ(d.prompts(), QStringList({"Invalid trajectory mode for a master axis."}));
    EXPECT_TRUE(d.child<QRadioButton>(W, "optSlveMode_0")->isChecked());
    d.click(W, "optSlvAxis_0");
    EXPECT_TRUE(d.child<QRadioButton>(W, "optSlveMode_3")->isChecked());
    d.click(W, "optSlveMode_5");
    EXPECT_EQ(d.prompts().size(), 1);

    // Reset, then Apply: every axis its own master in mode 1, mode before master.
    d.click(W, "cmdReset");
    d.clearLines();
    d.click(W, "cmdAssign");
    EXPECT_EQ(d.lines(), QStringList({"1TJ1\r", "1SS1\r", "1GR1.000000\r", "2TJ1\r", "2SS2\r",
                                      "2GR1.000000\r", "3TJ1\r", "3SS3\r", "3GR1.000000\r"}));
}

TEST(frmMasterSlave, AFailedReadIsNeverSentBackAndEightAxesAreHarmless)
{
    SetupDesk d(8);
    freeAxes(d.sim());
    d.sim().setValue(4, "QM", "1");
    d.sim().setReply("2SS?", QByteArray());
    d.dispatch("mnuSetupMotionMasterSlaving");
    for (const QString& line : d.lines())
        EXPECT_FALSE(line.startsWith(QLatin1Char('7')) || line.startsWith(QLatin1Char('8'))) << line.toStdString();
    d.rig.boxes.clear();
    d.clearLines();
    d.click(W, "cmdUnassign");
    const QStringList sent = d.lines();
    EXPECT_FALSE(sent.contains(QStringLiteral("2SS0\r")));
    EXPECT_TRUE(sent.contains(QStringLiteral("2TJ1\r")));
    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_TRUE(d.rig.boxes.at(0).prompt.contains(QStringLiteral("Axis 2: master axis")));
}

TEST(frmMasterSlave, AFailedMotorProbeDisablesNothingAndAMasterNeverReadIsNotTakenAsFree)
{
    PointLocale point;
    SetupDesk d(4);
    freeAxes(d.sim());
    d.sim().setValue(2, "GR", "2.5");
    d.sim().setReply("2QM?", QByteArray());
    d.sim().setReply("3SS?", QByteArray());
    d.dispatch("mnuSetupMotionMasterSlaving");
    ASSERT_NE(d.form(W), nullptr);
    EXPECT_TRUE(d.child<QRadioButton>(W, "optMstrAxis_1")->isEnabled()) << "axis 2's probe failed: not taken as motorless";
    EXPECT_TRUE(slaveBox(d, 1)->isEnabled());
    EXPECT_FALSE(d.child<QRadioButton>(W, "optMstrAxis_3")->isEnabled()) << "axis 4 reads type 0";
    d.click(W, "optSlvAxis_1");
    EXPECT_EQ(d.child<QLineEdit>(W, "txtGearRatio")->text(), QStringLiteral("2.5")) << "axis 2's own ratio";

    // Axis 3's master was not read: under master 1 it shows neither ticked nor clear, where a
    // free axis shows clear.
    EXPECT_EQ(slaveBox(d, 2)->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(slaveBox(d, 1)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(slaveBox(d, 2)->isEnabled());

    // Ticking axis 3 under master 1 asks for its master again; still lost, nothing changes.
    d.rig.boxes.clear();
    d.clearLines();
    Clicks::click(slaveBox(d, 2));
    EXPECT_EQ(d.lines().filter(QStringLiteral("SS?")), QStringList({"3SS?\r"}));
    EXPECT_EQ(slaveBox(d, 2)->checkState(), Qt::PartiallyChecked) << "still unread";
    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_EQ(d.rig.boxes.at(0).prompt,
              QStringLiteral("The master of axis-3 could not be read from the controller, so nothing was changed."));

    // Read at last, it is a slave of axis 2: refused as such, not set as a free axis would be.
    d.sim().clearReplies();
    d.sim().setValue(3, "SS", "2");
    d.rig.boxes.clear();
    Clicks::click(slaveBox(d, 2));
    EXPECT_FALSE(slaveBox(d, 2)->isChecked());
    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_EQ(d.rig.boxes.at(0).prompt, QStringLiteral("Axis-3 is a slave of axis-2."));
    EXPECT_EQ(slaveBox(d, 2)->checkState(), Qt::Unchecked);
    // Now read, it is a plain tick box again: a click cannot leave it half-ticked.
    Clicks::click(slaveBox(d, 2));
    EXPECT_NE(slaveBox(d, 2)->checkState(), Qt::PartiallyChecked);
}
