#include "tests/utility/setup/SetupDesk.h"

#include "library/link/CGuiState.h"
#include "library/link/IMotion.h"
#include "library/link/KVLComm.h"
#include "tests/support/TestHelpers.h"
#include "utility/shell/Form.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

const QString W = QStringLiteral("frmErrComp");

// Four axes, axis 2 without a motor.
void fillController(SimController& sim)
{
    sim.setValue(2, "QM", "0");
    sim.setValue(1, "SN", "2");
    sim.setValue(1, "BA", "0.5");
    sim.setValue(1, "CO", "0");
    sim.setValue(3, "SN", "12");
    sim.setValue(3, "BA", "4");
    sim.setValue(3, "CO", "-1.25");
    sim.setValue(4, "SN", "7");
}

QRadioButton* option(SetupDesk& d, int i)
{
    return d.child<QRadioButton>(W, QStringLiteral("optSelAxis_%1").arg(i));
}

} // namespace

TEST(frmErrComp, ReadsMotorAxesWritesWhatWasEditedAndCancelReturnsToWhatWasRead)
{
    PointLocale point;
    SetupDesk d(4);
    fillController(d.sim());
    d.comm()->GetGuiStateObject()->setCurrentAxis(2); // no motor: the first motor axis is chosen
    d.dispatch("mnuSetupMotionErrorCompensation");
    ASSERT_NE(d.form(W), nullptr);
    EXPECT_EQ(d.form(W)->windowTitle(), QStringLiteral("Error Compensation"));
    EXPECT_EQ(d.lines(), QStringList({" 1QM?\r", " 1SN?\r", " 1BA?\r", " 1CO?\r", " 2QM?\r", " 3QM?\r",
                                      " 3SN?\r", " 3BA?\r", " 3CO?\r", " 4QM?\r", " 4SN?\r", " 4BA?\r",
                                      " 4CO?\r"}));
    const bool enabled[] = {true, false, true, true, false, false};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(option(d, i)->isEnabled(), enabled[i]) << i;
    EXPECT_TRUE(option(d, 0)->isChecked());
    EXPECT_EQ(d.comm()->GetGuiStateObject()->CurrentAxis(), 1);
    EXPECT_EQ(d.child<QLabel>(W, "lblBacklashUnits")->text(), QStringLiteral("mm"));
    EXPECT_EQ(d.child<QLineEdit>(W, "txtBacklash")->text(), QStringLiteral("0.5"));

    // A code without a name shows no unit.
    d.click(W, "optSelAxis_2");
    EXPECT_EQ(d.child<QLabel>(W, "lblBacklashUnits")->text(), QString());
    EXPECT_EQ(d.child<QLineEdit>(W, "txtLinear")->text(), QStringLiteral("-1.25"));

    d.click(W, "optSelAxis_0");
    d.type(W, "txtBacklash", "2.25");
    d.clearLines();
    d.click(W, "cmdApply");
    EXPECT_EQ(d.lines(), QStringList({" 1BA 2.25\r", " 1CO 0\r", " 3BA 4\r", " 3CO-1.25\r", " 4BA 0\r",
                                      " 4CO 0\r"}));
    EXPECT_TRUE(d.prompts().isEmpty());

    // Cancel after Apply: the controller keeps the applied value, the cache what was read.
    IMotion* motion = dynamic_cast<IMotion*>(d.comm());
    d.clearLines();
    d.click(W, "cmdCancel");
    EXPECT_TRUE(d.lines().isEmpty());
    EXPECT_EQ(d.form(W), nullptr);
    EXPECT_FLOAT_EQ(motion->BacklashComp(1), 0.5f);
    EXPECT_EQ(d.sim().value(1, "BA"), QByteArray("2.25"));
}

TEST(frmErrComp, CommaLocaleAndAMissingReplyNeverCorruptTheController)
{
    LocaleScope comma(QLocale(QLocale::German, QLocale::Germany));
    SetupDesk d(4);
    fillController(d.sim());
    d.sim().setReply(" 3BA?", QByteArray());
    d.dispatch("mnuSetupMotionErrorCompensation");
    EXPECT_EQ(d.child<QLineEdit>(W, "txtBacklash")->text(), QStringLiteral("0,5"));

    // Visiting a box changes nothing; a typed value uses the period on the wire.
    d.type(W, "txtBacklash", "0,5");
    d.type(W, "txtLinear", "1,5");
    d.click(W, "optSelAxis_2");
    EXPECT_EQ(d.child<QLineEdit>(W, "txtBacklash")->text(), QString()) << "never read";
    d.clearLines();
    d.click(W, "cmdOK");
    EXPECT_EQ(d.lines(), QStringList({" 1BA .5\r", " 1CO 1.5\r", " 3CO-1.25\r", " 4BA 0\r", " 4CO 0\r"}));
    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_TRUE(d.rig.boxes.at(0).prompt.contains(QStringLiteral("Axis 3: backlash")));
    EXPECT_EQ(d.form(W), nullptr);

    // Text that is no number is refused and changes nothing.
    d.dispatch("mnuSetupMotionErrorCompensation");
    d.rig.boxes.clear();
    d.click(W, "optSelAxis_0");
    d.type(W, "txtBacklash", "abc");
    EXPECT_EQ(d.rig.boxes.size(), 1);
    EXPECT_EQ(d.child<QLineEdit>(W, "txtBacklash")->text(), QStringLiteral("0,5"));
}

TEST(frmErrComp, AxesWithoutAnOptionAndDemoModeAreHarmless)
{
    {
        // Eight axes: the window has six options and never asks beyond them.
        SetupDesk d(8);
        d.comm()->GetGuiStateObject()->setCurrentAxis(7);
        d.dispatch("mnuSetupMotionErrorCompensation");
        for (const QString& line : d.lines())
            EXPECT_FALSE(line.startsWith(QStringLiteral(" 7")) || line.startsWith(QStringLiteral(" 8"))) << line.toStdString();
        EXPECT_TRUE(option(d, 0)->isChecked());
        d.comm()->GetGuiStateObject()->setCurrentAxis(8);
        EXPECT_TRUE(option(d, 0)->isChecked());
        d.click(W, "cmdApply");
    }
    {
        SetupDesk d(4);
        d.goDemo();
        d.dispatch("mnuSetupMotionErrorCompensation");
        for (int i = 0; i < 6; ++i)
            EXPECT_FALSE(option(d, i)->isEnabled());
        EXPECT_EQ(d.child<QLabel>(W, "lblBacklashUnits")->text(), QStringLiteral("counts"));
        d.click(W, "cmdOK");
        EXPECT_TRUE(d.lines().isEmpty());
        EXPECT_TRUE(d.prompts().isEmpty());
    }
}

TEST(frmErrComp, AFailedMotorProbeLeavesTheAxisInAndShowsItsOwnValues)
{
    SetupDesk d(4);
    fillController(d.sim());
    d.sim().setReply(" 3QM?", QByteArray());
    d.dispatch("mnuSetupMotionErrorCompensation");
    ASSERT_NE(d.form(W), nullptr);
    EXPECT_TRUE(option(d, 2)->isEnabled()) << "the probe failed: no absence of a motor concluded";
    EXPECT_FALSE(option(d, 1)->isEnabled()) << "axis 2 reads type 0";
    d.click(W, "optSelAxis_2");
    EXPECT_EQ(d.child<QLineEdit>(W, "txtBacklash")->text(), QStringLiteral("4"));
    d.clearLines();
    d.rig.boxes.clear();
    d.click(W, "cmdOK");
    EXPECT_TRUE(d.lines().contains(QStringLiteral(" 3CO-1.25\r")));
    EXPECT_TRUE(d.lines().filter(QStringLiteral(" 2")).isEmpty());
}
