#include "tests/utility/setup/SetupDesk.h"

#include "library/link/CGuiState.h"
#include "library/link/IMotion.h"
#include "library/link/KVLComm.h"
#include "tests/support/TestHelpers.h"
#include "utility/shell/Form.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

const QString W = QStringLiteral("frmSetupAxorn");

QStringList readsOf(int axis)
{
    QStringList lines;
    for (const char* mn : {"QM", "QI", "QV", "QT", "QG"})
        lines << QStringLiteral(" %1%2?\r").arg(axis).arg(QLatin1String(mn));
    return lines;
}

} // namespace

TEST(frmSetupAxorn, ReadsFiveSettingsPerAxisShowsTheTypeAndWritesBackWhatWasRead)
{
    LocaleScope comma(QLocale(QLocale::German, QLocale::Germany));
    SetupDesk d(3);
    d.sim().setValue(1, "QM", "3"); // shown as a stepper, stays 3
    d.sim().setValue(1, "QI", "1.5");
    d.sim().setValue(1, "QV", "24");
    d.sim().setValue(2, "QM", "0");
    d.sim().setValue(3, "QM", "4");
    d.dispatch("mnuSetupAxorn");
    ASSERT_NE(d.form(W), nullptr);
    EXPECT_EQ(d.form(W)->windowTitle(), QStringLiteral("Setup Motor Driver"));
    EXPECT_EQ(d.child<QPushButton>(W, "btnUpdateAxorn")->text(), QStringLiteral("Update Motor Driver"));
    EXPECT_EQ(d.lines(), readsOf(1) + readsOf(2) + readsOf(3));

    EXPECT_FALSE(d.child<QRadioButton>(W, "optSetAxornAxis_1")->isEnabled());
    EXPECT_FALSE(d.child<QRadioButton>(W, "optSetAxornAxis_3")->isEnabled());
    EXPECT_TRUE(d.child<QRadioButton>(W, "optSetAxornAxis_0")->isChecked());
    EXPECT_TRUE(d.child<QRadioButton>(W, "optMotType_1")->isChecked());
    EXPECT_FALSE(d.child<QRadioButton>(W, "optMotType_1")->isEnabled());
    EXPECT_EQ(d.child<QLineEdit>(W, "txtMotCur")->text(), QStringLiteral("1,5"));
    d.click(W, "optSetAxornAxis_2");
    EXPECT_TRUE(d.child<QRadioButton>(W, "optMotType_2")->isChecked());

    // Visiting a box changes nothing; an edit goes out with the period; the types go back as read.
    d.click(W, "optSetAxornAxis_0");
    d.type(W, "txtMotCur", "1,5");
    d.type(W, "txtVolts", "12,5");
    d.clearLines();
    d.click(W, "btnAxornApply");
    EXPECT_EQ(d.lines(), QStringList({" 1QM3\r", " 1QI1.5\r", " 1QV12.5\r", " 1QT0\r", " 1QG0\r", " 2QM0\r",
                                      " 2QI0\r", " 2QV0\r", " 2QT0\r", " 2QG0\r", " 3QM4\r", " 3QI0\r",
                                      " 3QV0\r", " 3QT0\r", " 3QG0\r"}));

    // The update button: motors off where there is one, then the amplifier of the axis shown.
    d.clearLines();
    d.click(W, "btnUpdateAxorn");
    EXPECT_EQ(d.lines(), QStringList({" 1MF\r", " 3MF\r", " 1QD\r"}));

    // Cancel after Apply: the cache returns to what was read, the controller keeps the applied.
    d.click(W, "btnAxornCancel");
    EXPECT_FLOAT_EQ(dynamic_cast<IMotion*>(d.comm())->AverageMotorVoltage(1), 24.0f);
    EXPECT_EQ(d.sim().value(1, "QV"), QByteArray("12.5"));
}

TEST(frmSetupAxorn, AFailedReadIsNeverWrittenAndAxesWithoutAnOptionAreIgnored)
{
    SetupDesk d(8, QStringLiteral("KVL7100"));
    d.sim().setReply(" 2QM?", QByteArray());
    d.sim().setReply(" 1QI?", QByteArray());
    d.comm()->GetGuiStateObject()->setCurrentAxis(7);
    d.dispatch("mnuSetupAxorn");
    EXPECT_EQ(d.form(W)->windowTitle(), QStringLiteral("Setup Axorn"));
    EXPECT_EQ(d.child<QPushButton>(W, "btnUpdateAxorn")->text(), QStringLiteral("Update Axorn"));
    for (const QString& line : d.lines())
        EXPECT_FALSE(line.startsWith(QStringLiteral(" 7")) || line.startsWith(QStringLiteral(" 8"))) << line.toStdString();
    EXPECT_TRUE(d.child<QRadioButton>(W, "optSetAxornAxis_0")->isChecked());
    EXPECT_EQ(d.child<QLineEdit>(W, "txtMotCur")->text(), QString()) << "never read";
    d.click(W, "optSetAxornAxis_1");
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(d.child<QRadioButton>(W, QStringLiteral("optMotType_%1").arg(i))->isChecked()) << "axis 2's type was not read";
    d.click(W, "optSetAxornAxis_0");

    d.comm()->GetGuiStateObject()->setCurrentAxis(8);
    d.clearLines();
    d.rig.boxes.clear();
    d.click(W, "btnAxornOK");
    const QStringList sent = d.lines();
    EXPECT_FALSE(sent.contains(QStringLiteral(" 1QI0\r")));
    EXPECT_FALSE(sent.contains(QStringLiteral(" 2QM0\r")));
    EXPECT_TRUE(sent.contains(QStringLiteral(" 2QI0\r")));
    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_TRUE(d.rig.boxes.at(0).prompt.contains(QStringLiteral("Axis 1: motor current")));
    EXPECT_TRUE(d.rig.boxes.at(0).prompt.contains(QStringLiteral("Axis 2: motor type")));
    EXPECT_EQ(d.form(W), nullptr);
}
