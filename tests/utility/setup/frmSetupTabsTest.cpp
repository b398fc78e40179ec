#include "tests/utility/setup/SetupRig.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "sim/SimController.h"
#include "utility/setup/AxisOptionRow.h"
#include "utility/setup/frmSetupTabs.h"
#include "utility/shell/KvlXGlobal.h"

#include <QCheckBox>
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

template <class T>
T* child(QObject* form, const QString& name)
{
    T* widget = form->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << qPrintable(name);
    return widget;
}

void click(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
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
