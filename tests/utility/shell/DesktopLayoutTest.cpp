#include "tests/support/FontFamilyScope.h"
#include "tests/support/ProgramParts.h"
#include "tests/support/ResetAnswer.h"
#include "tests/support/ShellRig.h"
#include "tests/support/WindowChecks.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/panels/PanelBase.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "utility/shell/Form.h"
#include "utility/shell/frmBusType.h"
#include "utility/shell/frmMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QScrollBar>

#include <gtest/gtest.h>

using platform::Clock;

namespace {

// The main window on the simulated controller behind the in-process USB bus, every window plugged
// in as the program plugs them, the reset question answered No.
struct Desktop {
    explicit Desktop(bool storedLink = true)
    {
        device.installOnUsb(0);
        if (storedLink) {
            rig.store("KVLComm", "BusType", "4");
            rig.store("KVLComm", "DeviceID", "0");
            rig.store("frmMain", "FirstTime", "0");
        }
        rig.answer = ResetAnswer::no([](const ShellRig::Box& box) {
            const int buttons = box.style & 0xF;
            return buttons == platform::vbYesNo || buttons == platform::vbYesNoCancel ? int(platform::vbYes)
                                                                                        : int(platform::vbOK);
        });
        main = rig.start();
        main->resize(1024, 768);
        Clock::pumpOnce();
    }

    QMdiArea* area() const { return main->MDIClient(); }

    void closeAll()
    {
        for (Form* form : Form::Forms()) {
            if (form->Visible())
                Form::Unload(form);
        }
        Clock::pumpOnce();
    }

    ShellRig rig;
    ProgramParts parts;
    SimDevice device;
    frmMain* main = nullptr;
};

QString joined(const QStringList& lines)
{
    return lines.join(QLatin1Char('\n'));
}

// Every check runs under each font family the machine has of a short list: a layout that fits
// one family only is not fitted.
class DesktopLayoutTest : public ::testing::TestWithParam<QString> {
protected:
    FontFamilyScope family{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Families, DesktopLayoutTest, ::testing::ValuesIn(FontFamilyScope::testedFamilies()),
                         [](const auto& info) { return FontFamilyScope::testName(info.param); });

} // namespace

TEST_P(DesktopLayoutTest, EveryWindowShowsItsTextsWholeAndOpensInView)
{
    Desktop desk;
    QStringList problems;
    // What start-up left open (the wait window) first.
    for (Form* form : Form::Forms()) {
        if (form->Visible())
            problems += WindowChecks::allProblems(form, desk.area());
    }
    desk.closeAll();

    const QStringList names = WindowChecks::openableWindows(desk.main);
    ASSERT_GE(names.size(), 9) << joined(names).toStdString();
    for (const QString& name : names) {
        Form* form = WindowChecks::open(desk.main, name);
        if (!form) {
            problems << name + QStringLiteral(": did not open");
            continue;
        }
        Clock::pumpOnce();
        problems += WindowChecks::allProblems(form, desk.area());
        desk.closeAll();
    }
    EXPECT_TRUE(problems.isEmpty()) << joined(problems).toStdString();
}

// Tab follows the eye in every window: top to bottom, left to right. The font plays no part.
TEST(DesktopTabOrder, EveryWindowTabsTopToBottomAndLeftToRight)
{
    Desktop desk;
    QStringList problems;
    // What start-up left open (the wait window) first.
    for (Form* form : Form::Forms()) {
        if (form->Visible())
            problems += WindowChecks::tabOrderAgainstTheEye(form, form->Name());
    }
    desk.closeAll();
    for (const QString& name : WindowChecks::openableWindows(desk.main)) {
        Form* form = WindowChecks::open(desk.main, name);
        if (!form)
            continue;
        Clock::pumpOnce();
        problems += WindowChecks::tabOrderAgainstTheEye(form, name);
        desk.closeAll();
    }
    EXPECT_TRUE(problems.isEmpty()) << joined(problems).toStdString();
}

// The bus window with each of its choices, and the serial dialog it opens: their captions change
// with the choice, and both must be answered, so their buttons must be in view.
TEST_P(DesktopLayoutTest, BusWindowAndSerialDialogFitEveryChoice)
{
    Desktop desk;
    desk.closeAll();
    Form* bus = WindowChecks::open(desk.main, QStringLiteral("frmBusType"));
    ASSERT_TRUE(bus);
    QStringList problems;
    for (int i = 0; i < frmBusType::BusChoices; ++i) {
        auto* option = bus->findChild<QAbstractButton*>(QStringLiteral("optBusType_%1").arg(i));
        ASSERT_TRUE(option);
        option->click();
        Clock::pumpOnce();
        for (const QString& line : WindowChecks::allProblems(bus, desk.area()))
            problems << QStringLiteral("[choice %1] ").arg(i) + line;
    }
    auto* serial = bus->findChild<QAbstractButton*>(QStringLiteral("optBusType_3"));
    serial->click();
    bus->findChild<QAbstractButton*>(QStringLiteral("cmdRS232Setup"))->click();
    Clock::pumpOnce();
    Form* props = Form::loadedForm(QStringLiteral("frmCommProps"));
    ASSERT_TRUE(props && props->Visible());
    problems += WindowChecks::allProblems(props, desk.area());
    EXPECT_TRUE(problems.isEmpty()) << joined(problems).toStdString();
}

// The terminal and the firmware download close or hide the other windows when they open.
bool takesTheDesktop(const QString& name)
{
    return name == QLatin1String("frmTerminal") || name == QLatin1String("statusFlash");
}

TEST_P(DesktopLayoutTest, CascadeAndTileKeepEveryWindowAtItsDesignedSize)
{
    Desktop desk;
    desk.closeAll();
    QList<QPair<Form*, QSize>> designed;
    for (const QString& name : WindowChecks::openableWindows(desk.main)) {
        if (takesTheDesktop(name))
            continue;
        if (Form* form = WindowChecks::open(desk.main, name)) {
            if (form->MDIChild())
                designed << qMakePair(form, form->frame()->size());
        }
    }
    ASSERT_GE(designed.size(), 9);

    QStringList problems;
    Form::loadedForm(QStringLiteral("frmHome"))->frame()->showMinimized();
    desk.main->MenuDispatch(QStringLiteral("mnuWindowCascade"));
    Clock::pumpOnce();
    for (const auto& [form, size] : designed)
        for (const QString& line : WindowChecks::smallerThan(form, size))
            problems << QStringLiteral("[cascade] ") + line;

    // The area's own tiling: a window of fixed size keeps it (a sizable one takes its tile).
    desk.area()->tileSubWindows();
    Clock::pumpOnce();
    for (const auto& [form, size] : designed)
        if (form->BorderStyle() != Form::vbSizable)
            for (const QString& line : WindowChecks::smallerThan(form, size))
                problems << QStringLiteral("[tile] ") + line;

    // A window the operator minimised comes back at its size when it is opened again, and the
    // cascade brings every window back to its normal state.
    Form* jog = Form::loadedForm(QStringLiteral("frmJog"));
    ASSERT_TRUE(jog);
    jog->frame()->showMinimized();
    Clock::pumpOnce();
    WindowChecks::open(desk.main, QStringLiteral("frmJog"));
    Clock::pumpOnce();
    // The same when it is chosen in the Window menu's list.
    Form* home = Form::loadedForm(QStringLiteral("frmHome"));
    ASSERT_TRUE(home);
    home->frame()->showMinimized();
    QMenu* windowMenu = desk.main->mnuMain(4);
    emit windowMenu->aboutToShow();
    for (QAction* entry : windowMenu->actions()) {
        if (entry->isCheckable() && entry->text().endsWith(QLatin1String(" Home")))
            entry->trigger();
    }
    Clock::pumpOnce();
    for (const auto& [form, size] : designed) {
        if (form == jog || form == home)
            for (const QString& line : WindowChecks::smallerThan(form, size))
                problems << QStringLiteral("[opened again] ") + line;
    }
    EXPECT_TRUE(problems.isEmpty()) << joined(problems).toStdString();
}

TEST_P(DesktopLayoutTest, StoredPlacesOutsideTheAreaComeBackIntoViewAndAreSavedInRange)
{
    Desktop desk;
    desk.closeAll();
    desk.rig.store("frmJog", "Left", "-2147483648");
    desk.rig.store("frmJog", "Top", "-2147483648");
    desk.rig.store("frmHome", "Left", "2147483647");
    desk.rig.store("frmHome", "Top", "99999999");
    desk.rig.store("frmErrors", "Left", "1e300");
    desk.rig.store("frmErrors", "Width", "-500");
    desk.rig.store("frmErrors", "Height", "45"); // three pixels: once a window of no size

    QStringList problems;
    for (const QString name : {"frmJog", "frmHome", "frmErrors"}) {
        Form* form = WindowChecks::open(desk.main, name);
        ASSERT_TRUE(form) << name.toStdString();
        Clock::pumpOnce();
        problems += WindowChecks::outsideArea(form, desk.area());
        const QPoint place = form->frame()->pos();
        Form::Unload(form);
        Clock::pumpOnce();
        // What is saved is where the window was, in twips.
        EXPECT_EQ(desk.rig.stored(name, "Left"), QString::number(place.x() * Form::TwipsPerPixel)) << name.toStdString();
        EXPECT_EQ(desk.rig.stored(name, "Top"), QString::number(place.y() * Form::TwipsPerPixel)) << name.toStdString();
    }
    EXPECT_TRUE(problems.isEmpty()) << joined(problems).toStdString();
    // A size below the least the window can have is no size: the window kept its own.
    EXPECT_EQ(desk.rig.stored("frmErrors", "Width"), QStringLiteral("7005"));
    EXPECT_EQ(desk.rig.stored("frmErrors", "Height"), QStringLiteral("6000"));
}

TEST_P(DesktopLayoutTest, FirstStartLeavesEveryWindowsTitleInSightAndTheAreaScrolls)
{
    Desktop desk;
    desk.closeAll();
    // The windows that host panels (other windows may choose a place of their own, such as the
    // middle of the area; they are closed again).
    QList<Form*> opened;
    for (const QString& name : WindowChecks::openableWindows(desk.main)) {
        if (takesTheDesktop(name))
            continue;
        Form* form = WindowChecks::open(desk.main, name);
        if (form && form->MDIChild() && form->findChild<PanelBase*>())
            opened << form;
        else if (form)
            Form::Unload(form);
    }
    ASSERT_GE(opened.size(), 8);
    // Each window's title bar start is covered by no window opened after it.
    QStringList hidden;
    for (int i = 0; i < opened.size(); ++i) {
        const QPoint title = opened.at(i)->frame()->geometry().topLeft() + QPoint(8, 8);
        for (int j = i + 1; j < opened.size(); ++j) {
            if (opened.at(j)->frame()->geometry().contains(title))
                hidden << opened.at(i)->Name() + QStringLiteral(" is hidden behind ") + opened.at(j)->Name();
        }
    }
    EXPECT_TRUE(hidden.isEmpty()) << joined(hidden).toStdString();

    // A window put beyond the visible part of the area can be scrolled to.
    Form* jog = opened.first();
    jog->frame()->move(desk.area()->viewport()->width() + 200, 10);
    Clock::pumpOnce();
    EXPECT_GT(desk.area()->horizontalScrollBar()->maximum(), 0);
}

// Unit captions follow the axis shown: the room for them is made for the widest unit name, so a
// panel fitted while its first axis counts in millimetres still shows another axis's counts.
TEST_P(DesktopLayoutTest, UnitCaptionsFitWhicheverAxisIsShown)
{
    Desktop desk;
    desk.closeAll();
    for (int axis = 1; axis <= 6; ++axis)
        desk.device.controller().setValue(axis, "SN", axis == 1 ? "2" : "0");
    QStringList problems;
    for (const QString name : {"frmHome", "frmJog", "frmTrajectory", "frmPosition"}) {
        Form* form = WindowChecks::open(desk.main, name);
        ASSERT_TRUE(form) << name.toStdString();
        // Axis 2 (counts) on every axis selector the window has.
        for (QAbstractButton* option : form->findChildren<QAbstractButton*>()) {
            if (option->objectName().endsWith(QLatin1String("_1")) && option->objectName().startsWith(QLatin1String("opt")))
                option->click();
        }
        Clock::pumpOnce();
        problems += WindowChecks::textsThatDoNotFit(form, form->Name());
        desk.closeAll();
    }
    EXPECT_TRUE(problems.isEmpty()) << joined(problems).toStdString();
}

// Windows that host panels, open under one family, stay whole when the program's font changes to
// another: the panels fit again and their windows grow with them.
TEST_P(DesktopLayoutTest, OpenWindowsFitAgainWhenTheFontChanges)
{
    QString other;
    for (const QString& f : FontFamilyScope::testedFamilies()) {
        if (f != GetParam()) {
            other = f;
            break;
        }
    }
    if (other.isEmpty())
        GTEST_SKIP() << "one font family only";
    QList<Form*> opened;
    auto opening = std::make_unique<FontFamilyScope>(other);
    Desktop desktop;
    desktop.closeAll();
    for (const QString& name : WindowChecks::openableWindows(desktop.main)) {
        if (takesTheDesktop(name))
            continue;
        Form* form = WindowChecks::open(desktop.main, name);
        if (form && form->findChild<PanelBase*>())
            opened << form;
    }
    ASSERT_GE(opened.size(), 8);
    opening.reset();
    Clock::pumpOnce();
    QStringList problems;
    for (Form* form : opened) {
        problems += WindowChecks::textsThatDoNotFit(form, form->Name());
        problems += WindowChecks::overlappingControls(form, form->Name());
    }
    EXPECT_TRUE(problems.isEmpty()) << joined(problems).toStdString();
}
