#include "library/link/BusType.h"
#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "tests/support/ControllerHandlers.h"
#include "tests/support/MsgBoxRecorder.h"
#include "tests/support/Clicks.h"
#include "tests/support/TestHelpers.h"
#include "tests/utility/setup/SetupDesk.h"
#include "utility/setup/AxisOptionRow.h"
#include "utility/setup/NumberBox.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

std::unique_ptr<AxisOptionRow> makeRow(QWidget& parent, CGuiState& state, QList<int>& calls)
{
    auto row = std::make_unique<AxisOptionRow>(
        &parent, QStringLiteral("optAxis"), 6, [](int i) { return QString::number(i + 1); },
        [](int i) { return QRect(10, 10 + 20 * i, 40, 18); });
    row->setHandler([&calls](int index) { calls.append(index); });
    row->follow(&state);
    return row;
}

} // namespace

TEST(AxisOptionRow, FollowsTheCurrentAxisBothWaysAndIgnoresAxesItHasNoOptionFor)
{
    QWidget parent;
    CGuiState state;
    QList<int> calls;
    auto row = makeRow(parent, state, calls);
    parent.show();

    // A selection from code sets the current axis first, then runs the handler once.
    QList<short> announced;
    QObject::connect(&state, &CGuiState::AxisChange, [&](short NewAxis, short) { announced.append(NewAxis); });
    EXPECT_TRUE(row->selectAxis(3));
    EXPECT_EQ(state.CurrentAxis(), 3);
    EXPECT_EQ(calls, QList<int>{2});
    EXPECT_EQ(announced, QList<short>{3});

    // The same axis again changes nothing and runs nothing.
    EXPECT_TRUE(row->selectAxis(3));
    EXPECT_EQ(calls, QList<int>{2});

    // Another window's axis change reaches the row.
    state.setCurrentAxis(5);
    EXPECT_EQ(row->shownAxis(), 5);
    EXPECT_EQ(calls, (QList<int>{2, 4}));

    // Axes 7 and 0 have no option: the row keeps showing axis 5 and runs nothing.
    state.setCurrentAxis(7);
    state.setCurrentAxis(0);
    EXPECT_FALSE(row->selectAxis(7));
    EXPECT_EQ(row->shownAxis(), 5);
    EXPECT_EQ(calls, (QList<int>{2, 4}));

    // A click by the user.
    Clicks::click(row->option(1));
    EXPECT_EQ(state.CurrentAxis(), 2);
    EXPECT_EQ(calls, (QList<int>{2, 4, 1}));
    EXPECT_EQ(row->option(1)->objectName(), QStringLiteral("optAxis_1"));

    row->enableUpTo(4);
    EXPECT_TRUE(row->isAxisEnabled(4));
    EXPECT_FALSE(row->isAxisEnabled(5));
    EXPECT_FALSE(row->isAxisEnabled(7));
}

TEST(NumberBox, RoundTripsInACommaLocaleAndRefusesWhatItCannotHold)
{
    LocaleScope comma(QLocale(QLocale::German, QLocale::Germany));
    MsgBoxRecorder boxes;
    QLineEdit edit;
    NumberBox single(&edit, NumberBox::Kind::Single);
    QList<double> committed;
    single.setCommitHandler([&](double v) { committed.append(v); });

    // Values that print with many digits come back unchanged when the box is only visited.
    for (float value : {0.1f, 1.0f / 3.0f, 12345.678f, -0.0005f}) {
        single.show(value);
        EXPECT_EQ(single.commit(), NumberBox::Commit::Unchanged);
    }
    single.show(0.5);
    EXPECT_EQ(edit.text(), QStringLiteral("0,5"));
    edit.setText(QStringLiteral("2,25"));
    EXPECT_EQ(single.commit(), NumberBox::Commit::Changed);
    ASSERT_EQ(committed.size(), 1);
    EXPECT_DOUBLE_EQ(committed.at(0), 2.25);
    EXPECT_EQ(boxes.count(), 0);

    // No number: refused with a message, the box shows its value again, nothing committed.
    edit.setText(QStringLiteral("abc"));
    EXPECT_EQ(single.commit(), NumberBox::Commit::Refused);
    EXPECT_EQ(edit.text(), QStringLiteral("2,25"));
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(committed.size(), 1);

    // A 16-bit box refuses what would wrap, and fractions; the commit runs on focus loss too.
    QLineEdit wordEdit;
    NumberBox word(&wordEdit, NumberBox::Kind::Int16);
    word.setCommitHandler([&](double v) { committed.append(v); });
    word.show(8);
    EXPECT_EQ(wordEdit.text(), QStringLiteral("8"));
    for (const char* bad : {"40000", "-32769", "1,5"}) {
        wordEdit.setText(QLatin1String(bad));
        EXPECT_EQ(word.commit(), NumberBox::Commit::Refused) << bad;
        EXPECT_EQ(wordEdit.text(), QStringLiteral("8"));
    }
    wordEdit.setText(QStringLiteral("32767"));
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(&wordEdit, &out);
    EXPECT_EQ(committed.last(), 32767.0);
}

// Escape, wherever the focus is in a set-up window, presses the window's Cancel, as in a dialog.
TEST(SetupForm, EscapePressesTheWindowsCancel)
{
    const struct {
        const char* key;
        const char* window;
        const char* cancel;
    } windows[] = {
        {"mnuSetupFaults", "frmSetupTabs", "cmdCancel"},
        {"mnuSetupMotionResolution", "frmSetupUnits", "btnResCancel"},
        {"mnuSetupAxorn", "frmSetupAxorn", "btnAxornCancel"},
        {"mnuSetupHardware", "frmSetupHardware", "btnHardwareCancel"},
        {"mnuSetupMotionErrorCompensation", "frmErrComp", "cmdCancel"},
        {"mnuSetupMotionMasterSlaving", "frmMasterSlave", "cmdUnassign"},
    };
    SetupDesk d(4);
    for (const auto& w : windows) {
        const QString name = QLatin1String(w.window);
        d.dispatch(QLatin1String(w.key));
        Form* form = d.form(name);
        ASSERT_NE(form, nullptr) << w.window;
        auto* cancel = form->findChild<QAbstractButton*>(QLatin1String(w.cancel));
        ASSERT_NE(cancel, nullptr) << w.window;
        // The focus on the window's first control that takes it and is not a push button.
        QWidget* focus = nullptr;
        for (QWidget* c : form->findChildren<QWidget*>()) {
            if ((c->focusPolicy() & Qt::TabFocus) && !qobject_cast<QPushButton*>(c) && c->isVisible() && c->isEnabled()) {
                focus = c;
                break;
            }
        }
        ASSERT_NE(focus, nullptr) << w.window;
        focus->setFocus();
        QSignalSpy clicks(cancel, &QAbstractButton::clicked);
        QTest::keyClick(focus, Qt::Key_Escape);
        EXPECT_EQ(clicks.count(), 1) << w.window << " from " << focus->objectName().toStdString();
        // Other keys stay with the box.
        QTest::keyClick(focus, Qt::Key_Escape, Qt::ShiftModifier);
        QTest::keyClick(focus, Qt::Key_A);
        EXPECT_EQ(clicks.count(), 1) << w.window;
        if (Form* still = d.form(name))
            Form::Unload(still);
    }
}

// A window opened while the link is closed (File > Reset with the controller unplugged leaves it
// closed on its bus) has no controller to ask, so it takes every value as read. File > Reset with
// the controller back opens the link under the open windows: nothing they hold is the
// controller's, so OK writes none of it and says so.
TEST(SetupForm, ALinkOpenedUnderAWindowWritesNothingTheWindowHeldBefore)
{
    platform::Clock::useManualClock(1000, 1);
    struct RealClock {
        ~RealClock() { platform::Clock::useRealClock(); }
    } realClock;
    SetupDesk d(2);
    ControllerHandlers handlers;
    d.rig.answer = [](const ShellRig::Box& box) {
        // File > Reset's question OK; no bus window after the failed start.
        return int(box.prompt.contains(QStringLiteral("continue")) ? platform::vbNo : platform::vbOK);
    };
    d.device.uninstall();
    d.dispatch(QStringLiteral("mnuFileResetSystem"));
    ASSERT_FALSE(d.comm()->IsOpen());
    ASSERT_EQ(d.comm()->BusType(), BUS_TYPE_USB) << d.prompts().join(QLatin1Char('|')).toStdString();
    d.dispatch(QStringLiteral("mnuSetupMotionResolution"));
    ASSERT_NE(d.form(QStringLiteral("frmSetupUnits")), nullptr);

    d.device.installOnUsb(0);
    d.dispatch(QStringLiteral("mnuFileResetSystem"));
    ASSERT_TRUE(d.comm()->IsOpen());
    ASSERT_EQ(d.comm()->BusType(), BUS_TYPE_USB);
    ASSERT_NE(d.form(QStringLiteral("frmSetupUnits")), nullptr) << "a reset keeps the windows open";

    d.clearLines();
    d.rig.boxes.clear();
    d.click(QStringLiteral("frmSetupUnits"), QStringLiteral("btnResOk"));
    const QRegularExpression unitsWrite(QStringLiteral("^\\d+(SN|SU|FR|QS|ZB)[^?]"));
    for (const QString& line : d.lines())
        EXPECT_FALSE(unitsWrite.match(line).hasMatch()) << line.toStdString();
    ASSERT_FALSE(d.prompts().isEmpty());
    EXPECT_TRUE(d.prompts().at(0).startsWith(QStringLiteral("These values could not be read from the controller")));
    // The limits came with the identification: the feedback-only axes 7 and 8 had units to write.
    EXPECT_TRUE(d.prompts().at(0).contains(QStringLiteral("\r\nAxis 7: SN, SU"))) << d.prompts().at(0).toStdString();

    // A window that read its values, whose link then falls to demo mode (as a break leaves it, the
    // window hidden and loaded) and is opened on a bus again: what it read came from the link
    // before, so Apply writes none of it. Until then the values it read are written as read.
    d.rig.boxes.clear();
    d.dispatch(QStringLiteral("mnuSetupFaults"));
    ASSERT_NE(d.form(QStringLiteral("frmSetupTabs")), nullptr);
    d.clearLines();
    d.click(QStringLiteral("frmSetupTabs"), QStringLiteral("btnApplyConfig"));
    EXPECT_TRUE(d.lines().contains(QStringLiteral("1ZF00\r"))) << d.lines().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(d.prompts().isEmpty());
    d.goDemo();
    d.comm()->setBusType(BUS_TYPE_USB);
    ASSERT_EQ(d.comm()->KVLInit(), 0);
    d.clearLines();
    d.click(QStringLiteral("frmSetupTabs"), QStringLiteral("btnApplyConfig"));
    const QRegularExpression faultWrite(QStringLiteral("^\\d*Z[ZFHSABE][0-9A-F]"));
    for (const QString& line : d.lines())
        EXPECT_FALSE(faultWrite.match(line).hasMatch()) << line.toStdString();
    ASSERT_EQ(d.prompts().size(), 1);
    EXPECT_TRUE(d.prompts().at(0).contains(QStringLiteral("Axis 1: ZF"))) << d.prompts().at(0).toStdString();
}
