#include "tests/utility/setup/SetupRig.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "sim/SimController.h"
#include "utility/setup/AxisOptionRow.h"
#include "utility/setup/frmSetupTabs.h"
#include "utility/shell/frmMain.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

frmSetupTabs* openFaults(SetupRig& rig)
{
    return dynamic_cast<frmSetupTabs*>(rig.open(QStringLiteral("mnuSetupFaults"), QStringLiteral("frmSetupTabs")));
}

QStringList readLines(int axis, bool withProbe = false)
{
    QStringList lines;
    if (withProbe)
        lines << QStringLiteral("%1QM?").arg(axis);
    lines << QStringLiteral("ZZ?");
    for (const char* mn : {"ZF", "ZH", "ZS", "ZA", "ZB", "ZE", "QM", "SR", "SL", "QS", "FR"})
        lines << QStringLiteral("%1%2?").arg(axis).arg(QLatin1String(mn));
    return lines;
}

} // namespace

TEST(frmSetupTabsTest, OpensOnTheControllersWordsAndAppliesEveryAxisInOrder)
{
    SetupRig rig(SetupRig::Model{"KVL410", 2, 2, 0}, [](SimController& sim) {
        sim.setWord(0, "ZZ", 0x100);
        sim.setWord(1, "ZF", 0x7);
        sim.setWord(1, "ZH", 0x45);
        sim.setWord(2, "ZB", 0x102);
        sim.setValue(1, "QS", "16");
        sim.setValue(1, "SR", "12.5");
        sim.setValue(2, "FR", "0.25");
    });
    frmSetupTabs* w = openFaults(rig);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Setup Faults"));
    EXPECT_EQ(rig.takeLines(), (QStringList{"1QM?", "2QM?"} + readLines(1) + readLines(2)));

    // Axes 3 to 6 are not the controller's; the interlock frame belongs to one model only.
    for (const char* row : {"optAbortAxis", "optDisMotor", "optEnableChecking"}) {
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(child<QRadioButton>(w, QStringLiteral("%1_%2").arg(QLatin1String(row)).arg(i))->isEnabled(), i < 2);
    }
    EXPECT_TRUE(child<QRadioButton>(w, QStringLiteral("optAbortAxis_0"))->isChecked());
    EXPECT_TRUE(child<QCheckBox>(w, QStringLiteral("chkAbortEvents_0"))->isChecked());     // ZF bit 2
    EXPECT_TRUE(child<QCheckBox>(w, QStringLiteral("chkEnableChecking_4"))->isChecked()); // ZH bit 0
    EXPECT_FALSE(child<QCheckBox>(w, QStringLiteral("chkDisMotorEvents_4"))->isChecked());
    EXPECT_FALSE(child<QGroupBox>(w, QStringLiteral("framInterlock"))->isEnabled());
    EXPECT_TRUE(child<QRadioButton>(w, QStringLiteral("optCritical_1"))->isChecked());
    EXPECT_TRUE(child<QRadioButton>(w, QStringLiteral("optInterlock_0"))->isChecked());

    click(child<QPushButton>(w, QStringLiteral("btnApplyConfig")));
    EXPECT_EQ(rig.takeLines(), (QStringList{"ZZ0100", "1ZF07", "1ZH045", "1ZS00", "1ZA00", "1ZB00", "1ZE00", "1QM1",
                                            "1SR12.5", "1SL0", "1QS16", "1FR0", "ZZ0100", "2ZF00", "2ZH00", "2ZS00",
                                            "2ZA00", "2ZB0102", "2ZE00", "2QM1", "2SR0", "2SL0", "2QS0", "2FR0.25"}));
    EXPECT_TRUE(rig.prompts().isEmpty());
}

TEST(frmSetupTabsTest, ATickChangesOneBitOfOneWordAndTheInterlockGoesOutOncePerAxis)
{
    SetupRig rig(SetupRig::Model{"KVL7100", 4, 4, 0}, [](SimController& sim) {
        sim.setWord(2, "ZH", 0x7 | 0x40); // bit 6 set by another window
        sim.setValue(3, "QM", "0");       // axis 3 without a motor
    });
    rig.main->mobjGuiState()->setCurrentAxis(3);
    frmSetupTabs* w = openFaults(rig);
    ASSERT_NE(w, nullptr);
    rig.takeLines();
    // Opened on axis 3, which has no motor: all three pages show it all the same.
    for (const char* row : {"optAbortAxis_2", "optDisMotor_2", "optEnableChecking_2"}) {
        EXPECT_TRUE(child<QRadioButton>(w, QLatin1String(row))->isChecked()) << row;
        EXPECT_FALSE(child<QRadioButton>(w, QLatin1String(row))->isEnabled()) << row;
    }
    EXPECT_TRUE(child<QGroupBox>(w, QStringLiteral("framInterlock"))->isEnabled());

    // The interlock, chosen while axis 3 is current, is the system word's bit 0.
    w->TabStrip1()->setCurrentIndex(3);
    click(child<QRadioButton>(w, QStringLiteral("optInterlock_1")));
    // "Hardware Limit" cleared on the "Disable Motor" page of axis 2: only bit 1 goes.
    w->TabStrip1()->setCurrentIndex(1);
    click(child<QRadioButton>(w, QStringLiteral("optDisMotor_1")));
    EXPECT_EQ(rig.main->mobjGuiState()->CurrentAxis(), 2);
    EXPECT_TRUE(child<QRadioButton>(w, QStringLiteral("optAbortAxis_1"))->isChecked());
    QCheckBox* hardLimit = child<QCheckBox>(w, QStringLiteral("chkDisMotorEvents_4"));
    ASSERT_TRUE(hardLimit->isChecked());
    click(hardLimit);
    EXPECT_EQ(rig.shell.comm()->HardLimitConfig(2), 0x45);

    click(child<QPushButton>(w, QStringLiteral("btnApplyConfig")));
    const QStringList sent = rig.takeLines();
    EXPECT_EQ(sent.count(QStringLiteral("ZZ01")), 4);
    EXPECT_TRUE(sent.contains(QStringLiteral("2ZH045")));
    EXPECT_TRUE(sent.contains(QStringLiteral("3QM0"))); // read and written like the others

    // OK sends the same once more and closes.
    click(child<QPushButton>(w, QStringLiteral("btnTabsOK")));
    EXPECT_EQ(rig.takeLines().count(QStringLiteral("2ZH045")), 1);
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmSetupTabs")), nullptr);
}

TEST(frmSetupTabsTest, CancelPutsTheWordsBackSoNoOtherWindowSendsTheEdit)
{
    SetupRig rig(SetupRig::Model{"KVL410", 2, 2, 0}, [](SimController& sim) {
        sim.setValue(1, "QM", "2");
        sim.setWord(1, "ZB", 0x100);
    });
    frmSetupTabs* faults = openFaults(rig);
    ASSERT_NE(faults, nullptr);
    // "Feedback Fault" ticked on the "Abort Motion" page of axis 1, then the resolution window
    // opens while the tick is in the cache.
    click(child<QCheckBox>(faults, QStringLiteral("chkAbortEvents_3")));
    EXPECT_EQ(rig.shell.comm()->FeedbackConfig(1), 0x104);
    Form* units = rig.open(QStringLiteral("mnuSetupMotionResolution"), QStringLiteral("frmSetupUnits"));
    ASSERT_NE(units, nullptr);
    rig.takeLines();

    click(child<QPushButton>(faults, QStringLiteral("cmdCancel")));
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmSetupTabs")), nullptr);
    EXPECT_TRUE(rig.takeLines().isEmpty());
    EXPECT_EQ(rig.shell.comm()->FeedbackConfig(1), 0x100);

    click(child<QPushButton>(units, QStringLiteral("btnResApply")));
    const QStringList sent = rig.takeLines();
    EXPECT_TRUE(sent.contains(QStringLiteral("1ZB0100"))) << sent.join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(sent.contains(QStringLiteral("1ZB0104")));
}

TEST(frmSetupTabsTest, AxesItHasNoOptionForNeverReachItsPages)
{
    // Eight motor axes and a current axis of 7 at opening.
    SetupRig rig(SetupRig::Model{"KVL410", 8, 8, 0}, [](SimController& sim) { sim.setWord(7, "ZF", 0x1); });
    rig.main->mobjGuiState()->setCurrentAxis(7);
    frmSetupTabs* faults = openFaults(rig);
    ASSERT_NE(faults, nullptr);
    const QStringList read = rig.takeLines();
    EXPECT_TRUE(read.contains(QStringLiteral("8FR?")));
    EXPECT_EQ(faults->axisRow(0)->shownAxis(), 0);
    EXPECT_FALSE(child<QCheckBox>(faults, QStringLiteral("chkAbortEvents_0"))->isEnabled());

    // Axis 2 chosen here, then axis 7 in the resolution window: this window stays on axis 2 and
    // a tick goes to axis 2.
    click(child<QRadioButton>(faults, QStringLiteral("optAbortAxis_1")));
    Form* units = rig.open(QStringLiteral("mnuSetupMotionResolution"), QStringLiteral("frmSetupUnits"));
    ASSERT_NE(units, nullptr);
    click(child<QRadioButton>(units, QStringLiteral("optUnitSelectAxis_6")));
    EXPECT_EQ(rig.main->mobjGuiState()->CurrentAxis(), 7);
    for (int page = 0; page < frmSetupTabs::Pages; ++page)
        EXPECT_EQ(faults->axisRow(page)->shownAxis(), 2);
    click(child<QCheckBox>(faults, QStringLiteral("chkAbortEvents_0")));
    EXPECT_EQ(rig.shell.comm()->FollowingErrorConfig(2), 0x4);
    EXPECT_EQ(rig.shell.comm()->FollowingErrorConfig(7), 0x1);
    rig.takeLines();

    click(child<QPushButton>(faults, QStringLiteral("btnApplyConfig")));
    const QStringList sent = rig.takeLines();
    EXPECT_EQ(sent.count(QStringLiteral("ZZ00")), 8);
    EXPECT_TRUE(sent.contains(QStringLiteral("7ZF01")));
    EXPECT_TRUE(sent.contains(QStringLiteral("2ZF04")));
}

TEST(frmSetupTabsTest, AWordWhoseQueryFailedIsNeitherShownNorEditableNorWritten)
{
    SetupRig rig(SetupRig::Model{"KVL410", 2, 2, 0}, [](SimController& sim) {
        sim.setReply("1ZH?", "No data\r\n");
        sim.setReply("ZZ?", "");
        sim.setWord(2, "ZH", 0x3);
    });
    // What the cache held before: guesses, whose bits must not show as the controller's.
    rig.shell.comm()->setHardLimitConfig(1, 0x7);
    rig.shell.comm()->setSystemConfiguration(1, 0x101);
    frmSetupTabs* w = openFaults(rig);
    ASSERT_NE(w, nullptr);
    rig.takeLines();
    for (int page = 0; page < frmSetupTabs::Pages; ++page) {
        EXPECT_EQ(w->checkBox(page, 4)->checkState(), Qt::PartiallyChecked) << page << ": neither ticked nor clear";
        EXPECT_FALSE(w->checkBox(page, 4)->isEnabled()) << page;
        EXPECT_EQ(w->checkBox(page, 0)->checkState(), Qt::Unchecked) << page << ": read as 0";
        EXPECT_TRUE(w->checkBox(page, 0)->isEnabled()) << page;
    }
    for (const char* name : {"optInterlock_0", "optInterlock_1", "optCritical_0", "optCritical_1"}) {
        EXPECT_FALSE(child<QRadioButton>(w, QLatin1String(name))->isChecked()) << name << ": the word was not read";
        EXPECT_FALSE(child<QRadioButton>(w, QLatin1String(name))->isEnabled()) << name;
    }
    // Axis 2's word was read: its boxes show it.
    click(child<QRadioButton>(w, QStringLiteral("optAbortAxis_1")));
    EXPECT_EQ(w->checkBox(0, 4)->checkState(), Qt::Unchecked) << "0x3 leaves the abort bit clear";
    EXPECT_EQ(w->checkBox(1, 4)->checkState(), Qt::Checked);
    EXPECT_TRUE(w->checkBox(0, 4)->isEnabled());
    rig.takeLines();

    click(child<QPushButton>(w, QStringLiteral("btnApplyConfig")));
    const QStringList sent = rig.takeLines();
    EXPECT_FALSE(sent.filter(QStringLiteral("1ZH")).size());
    EXPECT_FALSE(sent.filter(QStringLiteral("ZZ")).size());
    EXPECT_TRUE(sent.contains(QStringLiteral("2ZH03")));
    EXPECT_TRUE(sent.contains(QStringLiteral("1ZF00")));
    ASSERT_EQ(rig.prompts().size(), 1);
    EXPECT_TRUE(rig.prompts().at(0).endsWith(QStringLiteral("\r\nController: ZZ\r\nAxis 1: ZH")))
        << rig.prompts().at(0).toStdString();
}

TEST(frmSetupTabsTest, DemoModeReadsZerosAndSendsNothing)
{
    SetupRig rig;
    rig.shell.comm()->setBusType(0);
    frmSetupTabs* w = openFaults(rig);
    ASSERT_NE(w, nullptr);
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE(w->axisRow(0)->isAxisEnabled(i + 1));
    click(child<QPushButton>(w, QStringLiteral("btnApplyConfig")));
    EXPECT_TRUE(rig.prompts().isEmpty());
}

TEST(frmSetupTabsTest, AFailedMotorProbeTakesNoAxisOut)
{
    SetupRig rig(SetupRig::Model{"KVL410", 3, 3, 0}, [](SimController& sim) {
        sim.setValue(1, "QM", "1");
        sim.setValue(2, "QM", "0");
        sim.setValue(3, "QM", "2");
        sim.setReply("1QM?", "");
    });
    frmSetupTabs* w = openFaults(rig);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->axisRow(0)->isAxisEnabled(1)) << "its probe failed";
    EXPECT_FALSE(w->axisRow(0)->isAxisEnabled(2)) << "read as no motor";
    EXPECT_TRUE(w->axisRow(0)->isAxisEnabled(3));
}
