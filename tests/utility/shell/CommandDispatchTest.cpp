#include "tests/support/ResetAnswer.h"
#include "tests/support/ShellRig.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/panels/PanelBase.h"
#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "platform/ui/Shell.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "tests/support/PanelTestRig.h"
#include "tests/support/TestHelpers.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/Form.h"
#include "utility/shell/MainMenu.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmCycle.h"
#include "utility/shell/frmMain.h"

#include <QAction>
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace KvlXGlobal;

namespace {

// The main window on the simulated controller behind the in-process USB bus, its tick stopped so
// a test sees exactly what each command sends.
struct Desk {
    Desk()
    {
        device.installOnUsb(0);
        rig.store("KVLComm", "BusType", "4");
        rig.store("KVLComm", "DeviceID", "0");
        rig.store("frmMain", "FirstTime", "0");
        rig.answer = ResetAnswer::no([this](const ShellRig::Box&) { return reply; });
        main = rig.start();
        comm()->setTimerEnabled(false);
        comm()->GetGuiStateObject()->setMaxAxes(6);
        comm()->GetGuiStateObject()->setMaxFeedbackAxes(6);
        rig.boxes.clear();
        sim().clearLog();
        platform::setShellOpenHandler([this](const QString& target) {
            opened << target;
            return true;
        });
    }
    ~Desk()
    {
        platform::setShellOpenHandler({});
        for (const QString& name : plugged)
            CommandDispatcher::setWindow(name, {});
        for (const QString& name : procedures)
            CommandDispatcher::setProcedure(name, {});
    }

    KVLComm* comm() { return rig.comm(); }
    SimController& sim() { return device.controller(); }
    QStringList lines()
    {
        QStringList result;
        for (const QByteArray& line : sim().rawLines())
            result << QString::fromLatin1(line);
        return result;
    }
    void dispatch(const QString& key) { main->MenuDispatch(key); }
    Form* form(const QString& name) { return Form::loadedForm(name); }
    PanelBase* panelOf(const QString& name)
    {
        Form* f = form(name);
        return f ? f->findChild<PanelBase*>() : nullptr;
    }
    QAction* button(const QString& key) { return main->Menus()->toolbarButton(key); }

    // A plain window standing in for one that another part of the program supplies.
    void standIn(const QString& name)
    {
        plugged << name;
        CommandDispatcher::setWindow(name, [name] {
            if (Form* loaded = Form::loadedForm(name))
                return loaded;
            auto* f = new Form(name);
            f->Load();
            return f;
        });
    }
    void procedure(const QString& name, std::function<void()> f)
    {
        procedures << name;
        CommandDispatcher::setProcedure(name, std::move(f));
    }
    QStringList boxPrompts() const { return rig.prompts(); }

    SimDevice device;
    ShellRig rig;
    frmMain* main = nullptr;
    int reply = platform::vbOK;
    QStringList opened;
    QStringList plugged;
    QStringList procedures;
};

// The visible entries of a menu: captions, "-" for separators, and a submenu's caption.
QStringList entries(const QMenu* menu)
{
    QStringList list;
    for (const QAction* a : menu->actions()) {
        if (a->isVisible())
            list << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    return list;
}

} // namespace

TEST(CommandDispatchTest, MenusAndToolbarAreBuiltAsDesigned)
{
    Desk d;
    MainMenu* menus = d.main->Menus();

    EXPECT_EQ(entries(menus->mnuMain(0)),
              (QStringList{"&Reset System", "-", "&Save to Flash", "Save &To File", "Restore &From File", "&Demo Mode",
                           "-", "Restore Desktop &Environment", "Close &All Windows", "-", "E&xit"}));
    // Firmware is hidden; the driver item is named by the model at run time.
    EXPECT_EQ(entries(menus->mnuMain(1)),
              (QStringList{"&Motion", "&Faults", "&Hardware", "Motor Driver", "&Communications"}));
    EXPECT_EQ(entries(menus->mnuMain(5)), (QStringList{"&About KVL Controller", "&Tarvelle Homepage"}));
    QStringList shortcuts;
    for (int i : {2, 3, 4, 11})
        shortcuts << d.main->mnuFile(i)->shortcut().toString();
    EXPECT_EQ(shortcuts, (QStringList{"Ctrl+C", "Ctrl+S", "Ctrl+O", "Ctrl+X"}));

    // Items that cannot be chosen, and keys without an item.
    EXPECT_FALSE(d.main->mnuFile(9)->isEnabled());
    EXPECT_FALSE(menus->item(MainMenu::SetupMotion, 3)->isEnabled());
    EXPECT_FALSE(menus->item(MainMenu::Help, 2)->isEnabled());
    EXPECT_EQ(d.main->mnuFile(5), nullptr);
    EXPECT_EQ(menus->key(MainMenu::File, 5), QStringLiteral("mnuFileConvertToASCII"));
    EXPECT_EQ(menus->key(MainMenu::Setup, 6), QStringLiteral("mnuSetupWizard"));

    QStringList buttons;
    for (QAction* b : menus->toolbarButtons())
        buttons << b->text() + "|" + b->toolTip();
    EXPECT_EQ(buttons, (QStringList{"Enable|Enable Motor Power", "Stop|Stop All Motion", "Jog|Jog Stages",
                                    "Trajectory|Setup Trajectory Parameters", "Cycle|Cycle Stages",
                                    "Home|Home Stages", "Position|Read Position", "Terminal|Send ASCII Commands"}));
}

TEST(CommandDispatchTest, EachPanelWindowOpensOnceBoundToTheLink)
{
    Desk d;
    struct Case {
        QString key;
        QString window;
        QString caption;
        QString panel;
        QString line; // a line its binding or command sends
    };
    const QList<Case> cases{
        {"mnuMotionHome", "frmHome", "Home", "KVLHome1", "1QM?\r"},
        {"mnuMotionJog", "frmJog", "Jog", "KVLJog1", "1QM?\r"},
        {"mnuMotionCycle", "frmCycle", "Cycle", "KVLCycle1", "1QM?\r"},
        {"mnuMotionEnable", "frmEnable", "Enable/Disable", "KVLEnableDisable1", "1QM?\r"},
        {"mnuStatusPosition", "frmPosition", "Position", "KVLPosition1", "1TP\r"},
        {"mnuSetupMotionTrajectory", "frmTrajectory", "Trajectory", "KVLTrajectory1", "1QM?\r"},
        // Last: the stop panel taking the focus loads the cycle window, hidden, to stop any cycle.
        {"mnuMotionStop", "frmStop", "Stop", "KVLStop1", "0ST\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.toStdString());
        d.sim().clearLog();
        d.dispatch(c.key);
        Form* f = d.form(c.window);
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(f->Visible());
        EXPECT_TRUE(f->isEnabled());
        EXPECT_EQ(f->windowTitle(), c.caption);
        PanelBase* panel = d.panelOf(c.window);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->objectName(), c.panel);
        EXPECT_EQ(panel->commControl(), d.comm());
        if (c.window == QLatin1String("frmPosition"))
            emit d.comm()->Timer(); // the read-out polls on the tick
        EXPECT_TRUE(d.lines().contains(c.line)) << d.lines().join(' ').toStdString();

        // Again: the same window comes back without binding afresh.
        d.sim().clearLog();
        d.dispatch(c.key);
        EXPECT_EQ(d.form(c.window), f);
        EXPECT_EQ(d.lines(), c.window == QLatin1String("frmStop") ? QStringList{"0ST\r"} : QStringList{});
    }
    EXPECT_TRUE(d.rig.boxes.isEmpty()) << d.boxPrompts().join('|').toStdString();

    // The toolbar's twins reach the same windows; Stop sends "0ST" with its window already open.
    d.sim().clearLog();
    d.button("mnuTbarStop")->trigger();
    EXPECT_EQ(d.lines(), QStringList{"0ST\r"});
    Form::Unload(d.form("frmJog"));
    d.button("mnuTbarJog")->trigger();
    ASSERT_NE(d.form("frmJog"), nullptr);
    EXPECT_EQ(d.panelOf("frmJog")->commControl(), d.comm());
    // In demo mode the stop goes nowhere and the window still opens.
    Form::Unload(d.form("frmStop"));
    d.comm()->setBusType(BUS_TYPE_NONE);
    d.sim().clearLog();
    d.dispatch("mnuTbarStop");
    EXPECT_TRUE(d.lines().isEmpty());
    EXPECT_TRUE(d.form("frmStop")->Visible());
}

TEST(CommandDispatchTest, WindowsKeepTheirPlacesAndSizes)
{
    Desk d;
    d.main->resize(1200, 900); // room for the stored places
    d.rig.store("frmTrajectory", "Left", "450");
    d.rig.store("frmTrajectory", "Top", "600");
    d.rig.store("frmJog", "Left", "1500");
    d.rig.store("frmJog", "Top", "300");
    d.dispatch("mnuTbarTrajectory");
    d.dispatch("mnuTbarJog");
    Form* traj = d.form("frmTrajectory");
    Form* jog = d.form("frmJog");
    EXPECT_EQ(traj->Left(), 450);
    EXPECT_EQ(traj->Top(), 600);
    // The designed size, or more where the panel's texts need it at the font in use.
    EXPECT_GE(traj->Width(), 7250 - 14) << "whole pixels";
    EXPECT_GE(traj->Height(), 5130);
    EXPECT_EQ(jog->Left(), 1500);
    EXPECT_EQ(jog->Top(), 300);
    // A window that does not follow its panel opens with its client area at the panel's size.
    EXPECT_EQ(jog->ScaleWidth(), d.panelOf("frmJog")->width() * Form::TwipsPerPixel);
    EXPECT_EQ(jog->ScaleHeight(), d.panelOf("frmJog")->height() * Form::TwipsPerPixel);

    // The Window menu lists the open windows; choosing one brings it to the front.
    QMenu* windowMenu = d.main->mnuMain(4);
    emit windowMenu->aboutToShow();
    QStringList listed;
    QAction* trajEntry = nullptr;
    for (QAction* a : windowMenu->actions()) {
        if (a->isCheckable())
            listed << a->text() + (a->isChecked() ? "*" : "");
        if (a->text() == QLatin1String("&1 Trajectory"))
            trajEntry = a;
    }
    EXPECT_EQ(listed, (QStringList{"&1 Trajectory", "&2 Jog*"}));
    ASSERT_NE(trajEntry, nullptr);
    trajEntry->trigger();
    EXPECT_EQ(d.main->MDIClient()->activeSubWindow(), traj->frame());

    jog->setLeft(3000);
    d.dispatch("mnuWindowCloseAll");
    EXPECT_EQ(d.form("frmJog"), nullptr);
    EXPECT_EQ(d.rig.stored("frmJog", "Left"), QStringLiteral("3000"));
    EXPECT_EQ(d.rig.stored("frmTrajectory", "Left"), QStringLiteral("450"));
    EXPECT_EQ(d.rig.stored("frmTrajectory", "Width"), QStringLiteral("<none>")) << "fixed windows keep no size";
    EXPECT_NE(d.form("frmErrors"), nullptr) << "the hidden error window stays loaded";
}

TEST(CommandDispatchTest, PositionWindowShowsEveryRowOfItsPanel)
{
    Desk d;
    d.dispatch("mnuStatusPosition");
    Form* f = d.form("frmPosition");
    QWidget* panel = d.panelOf("frmPosition");
    ASSERT_NE(panel, nullptr);
    const int width = f->Width();
    for (int rows : {0, 1, 3, 6, 2}) {
        SCOPED_TRACE(rows);
        for (int i = 0; i < 6; ++i)
            panel->findChild<QAbstractButton*>(QStringLiteral("chkSelectAxis_%1").arg(i))->setChecked(i < rows);
        platform::Clock::pumpOnce();
        EXPECT_EQ(panel->pos(), QPoint(0, 0));
        EXPECT_EQ(f->ScaleHeight(), panel->height() * Form::TwipsPerPixel);
        EXPECT_EQ(f->Width(), width);
        for (int i = 0; i < rows; ++i) {
            QWidget* row = panel->findChild<QWidget*>(QStringLiteral("framAxisPos_%1").arg(i));
            EXPECT_LE(row->geometry().bottom(), f->height()) << "row " << i;
        }
    }
}

TEST(CommandDispatchTest, LockedPanelsAreRefusedSilently)
{
    Desk d;
    CGuiState* gui = d.main->mobjGuiState();
    const QList<QPair<short, QString>> locks{{4, "mnuMotionJog"}, {1, "mnuTbarCycle"}, {2, "mnuMotionHome"}};
    for (const auto& lock : locks) {
        gui->DisableForms(lock.first);
        d.dispatch(lock.second);
        gui->EnableForms(lock.first);
    }
    for (const char* name : {"frmJog", "frmCycle", "frmHome"})
        EXPECT_EQ(d.form(name), nullptr) << name;
    EXPECT_TRUE(d.rig.boxes.isEmpty());
    d.dispatch("mnuMotionJog");
    EXPECT_NE(d.form("frmJog"), nullptr);
}

TEST(CommandDispatchTest, LaterWindowsSaySoUntilPluggedIn)
{
    Desk d;
    d.dispatch("mnuSetupFaults");
    d.dispatch("mnuFileSaveToFile");
    d.dispatch("mnuFileConvertToASCII");
    EXPECT_EQ(d.boxPrompts(), (QStringList{"The fault set-up window is not available yet.",
                                           "Saving parameters to a file is not available yet.",
                                           "Converting an old parameter file is not available yet."}));
    EXPECT_EQ(d.rig.boxes[0].style, platform::vbOKOnly + platform::vbInformation);
    EXPECT_EQ(d.rig.boxes[0].title, QStringLiteral("Moxtrel"));

    // Plugged in, the command opens the window, enabled.
    d.standIn("frmSetupTabs");
    d.rig.boxes.clear();
    d.dispatch("mnuSetupFaults");
    Form* faults = d.form("frmSetupTabs");
    ASSERT_NE(faults, nullptr);
    faults->setEnabled(false);
    d.dispatch("mnuSetupFaults");
    EXPECT_TRUE(faults->Visible());
    EXPECT_TRUE(faults->isEnabled());
    EXPECT_TRUE(d.rig.boxes.isEmpty());

    // The demo-mode command reads the check mark as it was before the click.
    QList<bool> seen;
    d.procedure("SetDemoMode", [&] {
        seen << d.main->mnuFile(6)->isChecked();
        d.main->mnuFile(6)->setChecked(!d.main->mnuFile(6)->isChecked());
    });
    d.main->mnuFile(6)->trigger();
    d.main->mnuFile(6)->trigger();
    EXPECT_EQ(seen, (QList<bool>{false, true}));
    EXPECT_FALSE(d.main->mnuFile(6)->isChecked());
    CommandDispatcher::setProcedure("SetDemoMode", {});

    // The controller initialisation's own commands are in place: demo mode on, and to flash.
    d.main->mnuFile(6)->trigger();
    EXPECT_TRUE(d.main->mnuFile(6)->isChecked());
    EXPECT_TRUE(gDemoMode);
    EXPECT_EQ(d.comm()->BusType(), BUS_TYPE_NONE);
    gDemoMode = false;
    d.comm()->setBusType(BUS_TYPE_USB);
    d.sim().clearLog();
    d.main->mnuFile(2)->trigger();
    EXPECT_EQ(d.boxPrompts(), QStringList{"Save Values To Controllers Flash Memory"});
    EXPECT_EQ(d.lines(), QStringList{"SM\r"});
    d.rig.boxes.clear();

    // Unknown keys, and keys in another case, do nothing.
    d.dispatch("mnumotionstop");
    d.dispatch("mnuNothing");
    EXPECT_EQ(d.form("frmStop"), nullptr);
    EXPECT_TRUE(d.rig.boxes.isEmpty());
}

TEST(CommandDispatchTest, TerminalAsksToCloseTheOpenWindowsFirst)
{
    Desk d;
    d.standIn("frmTerminal");
    // Only the main window (and the hidden error window): no question.
    d.dispatch("mnuTbarTerminal");
    EXPECT_TRUE(d.rig.boxes.isEmpty());
    ASSERT_NE(d.form("frmTerminal"), nullptr);
    EXPECT_TRUE(d.form("frmTerminal")->Visible());

    d.dispatch("mnuTbarJog");
    d.reply = platform::vbNo;
    d.dispatch("mnuTbarTerminal");
    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_EQ(d.rig.boxes[0].prompt, QStringLiteral("All Moxtrel windows must be closed before opening ASCII Command "
                                                    "Terminal window.\r\n\r\n") +
                                         QString(35, ' ') + QStringLiteral("Do you want to close all windows?"));
    EXPECT_EQ(d.rig.boxes[0].style, platform::vbYesNo + platform::vbQuestion);
    EXPECT_EQ(d.rig.boxes[0].title, QStringLiteral("Windows Closing"));
    EXPECT_NE(d.form("frmJog"), nullptr);

    d.reply = platform::vbYes;
    d.dispatch("mnuTbarTerminal");
    EXPECT_EQ(d.form("frmJog"), nullptr);
    ASSERT_NE(d.form("frmTerminal"), nullptr);
    EXPECT_TRUE(d.form("frmTerminal")->Visible());
}

TEST(CommandDispatchTest, FirmwareDependsOnModelAndBus)
{
    Desk d;
    d.standIn("statusFlash");
    const QString title = QStringLiteral("Download Firmware");

    gModel = QStringLiteral("KVL7100");
    d.comm()->setBusType(BUS_TYPE_GPIB);
    d.dispatch("mnuSetupFirmware");
    gModel = QStringLiteral("KVL410");
    d.comm()->setBusType(BUS_TYPE_USB);
    d.dispatch("mnuSetupFirmware");
    ASSERT_EQ(d.rig.boxes.size(), 2);
    EXPECT_EQ(d.rig.boxes[0].prompt,
              QStringLiteral("Please select PCI communication interface for downloading KVL7100 firmware."));
    EXPECT_EQ(d.rig.boxes[1].prompt, QStringLiteral("Fimware Download with USB is not yet Supported"));
    for (const ShellRig::Box& box : d.rig.boxes) {
        EXPECT_EQ(box.title, title);
        EXPECT_EQ(box.style, platform::vbOKOnly + platform::vbCritical);
    }
    EXPECT_EQ(d.form("statusFlash"), nullptr);

    // Demo mode asks; No leaves it, Yes opens the download.
    d.rig.boxes.clear();
    d.comm()->setBusType(BUS_TYPE_NONE);
    d.reply = platform::vbNo;
    d.dispatch("mnuSetupFirmware");
    EXPECT_EQ(d.form("statusFlash"), nullptr);
    d.reply = platform::vbYes;
    d.dispatch("mnuSetupFirmware");
    ASSERT_EQ(d.rig.boxes.size(), 2);
    EXPECT_EQ(d.rig.boxes[0].title, QStringLiteral("Update Firmware"));
    EXPECT_EQ(d.rig.boxes[0].style, platform::vbYesNo + platform::vbQuestion);
    EXPECT_TRUE(d.rig.boxes[0].prompt.startsWith("The controller firmware update process will perform the following:\r\n1. "));
    EXPECT_TRUE(d.rig.boxes[0].prompt.endsWith("3. Reset controller.\r\n\r\nDo you want to update the firmware?"));
    ASSERT_NE(d.form("statusFlash"), nullptr);
    EXPECT_TRUE(d.form("statusFlash")->Visible());
}

TEST(CommandDispatchTest, ResetHelpAndHomePage)
{
    Desk d;
    QList<bool> resets;
    frmMain::setInitializeControllerHandler([&](bool bReset) {
        resets << bReset;
        d.comm()->setBusType(BUS_TYPE_NONE);
    });
    d.reply = platform::vbCancel;
    d.dispatch("mnuFileResetSystem");
    EXPECT_TRUE(resets.isEmpty());
    EXPECT_EQ(d.main->StatusBarPanelText(2), QStringLiteral("USB"));
    d.reply = platform::vbOK;
    d.dispatch("mnuFileResetSystem");
    EXPECT_EQ(resets, QList<bool>{true});
    EXPECT_EQ(d.main->StatusBarPanelText(2), QStringLiteral("Demo Mode")) << "the status bar follows the reset";
    ASSERT_EQ(d.rig.boxes.size(), 2);
    EXPECT_EQ(d.rig.boxes[0].prompt, QStringLiteral("Do you want to reset Controller"));
    EXPECT_EQ(d.rig.boxes[0].style, platform::vbOKCancel + platform::vbQuestion);

    // The Help menu's commands and the trajectory panel's help open the one help file beside the
    // program.
    const QString help = QDir(d.rig.folder()).filePath("MOXTREL.HLP");
    d.dispatch("mnuHelpKVL7100Commands");
    d.main->Menus()->item(MainMenu::Help, 1)->trigger();
    d.dispatch("mnuTbarTrajectory");
    QMetaObject::invokeMethod(d.panelOf("frmTrajectory"), "HelpClicked");
    ASSERT_EQ(d.opened.size(), 3);
    EXPECT_EQ(d.opened[0], help);
    EXPECT_TRUE(d.opened[1].startsWith("https://"));
    EXPECT_EQ(d.opened[2], help);
}

TEST(CommandDispatchTest, DisabledMenusSilenceTheirShortcuts)
{
    Desk d;
    d.main->activateWindow();
    QApplication::setActiveWindow(d.main);
    QTest::keyClick(d.main, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_EQ(d.rig.boxes[0].prompt, QStringLiteral("Saving parameters to a file is not available yet."));

    d.main->DisableMenu();
    for (QAction* b : d.main->Menus()->toolbarButtons())
        EXPECT_FALSE(b->isEnabled());
    QTest::keyClick(d.main, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(d.main, Qt::Key_X, Qt::ControlModifier);
    d.main->Menus()->item(MainMenu::Motion, 0)->trigger();
    EXPECT_EQ(d.rig.boxes.size(), 1);
    EXPECT_EQ(d.form("frmStop"), nullptr);

    d.main->EnableMenu();
    d.main->Menus()->item(MainMenu::Motion, 0)->trigger();
    EXPECT_NE(d.form("frmStop"), nullptr);
}

// ---------------------------------------------------------------------------------------------
// The cycle lock-out

namespace {

struct CycleDesk : Desk {
    CycleDesk()
    {
        for (const char* key : {"mnuTbarJog", "mnuTbarHome", "mnuTbarTrajectory", "mnuTbarEnable", "mnuTbarStop",
                                   "mnuTbarPosition", "mnuTbarCycle"})
            dispatch(key);
        cycle = panelOf("frmCycle");
        cycle->findChild<QAbstractButton*>("chkAxis_0")->setChecked(true);
        cycle->findChild<QLineEdit*>("txtTarg1_0")->setText("0");
        cycle->findChild<QLineEdit*>("txtTarg2_0")->setText("10");
    }
    void start()
    {
        PanelTestRig::click(cycle->findChild<QPushButton*>("btnGo"));
        sim().clearLog();
    }
    QAbstractButton* go() { return cycle->findChild<QAbstractButton*>("btnGo"); }
    bool running() { return go()->accessibleName() == QLatin1String("Stop"); }

    QStringList enabledWindows()
    {
        QStringList names;
        for (Form* f : Form::Forms()) {
            if (f->isEnabled())
                names << f->Name();
        }
        names.sort();
        return names;
    }
    int enabledMenus()
    {
        int count = 0;
        for (int i = 0; i < MainMenu::TopLevelCount; ++i)
            count += main->mnuMain(i)->menuAction()->isEnabled() ? 1 : 0;
        return count;
    }
    QStringList enabledButtons()
    {
        QStringList keys;
        for (QAction* b : main->Menus()->toolbarButtons()) {
            if (b->isEnabled())
                keys << b->data().toString();
        }
        return keys;
    }
    void expectAllBack()
    {
        EXPECT_EQ(enabledMenus(), MainMenu::TopLevelCount);
        EXPECT_EQ(enabledButtons().size(), 8);
        for (Form* f : Form::Forms())
            EXPECT_TRUE(f->isEnabled()) << f->Name().toStdString();
    }

    QPointer<PanelBase> cycle;
};

const QStringList kUsable{"frmCycle", "frmEnable", "frmErrors", "frmPosition", "frmStop"};

} // namespace

TEST(CycleLockOutTest, ACycleLocksOutTheOtherWindowsMenusAndButtons)
{
    CycleDesk d;
    ASSERT_FALSE(d.form("frmErrors")->Visible());
    d.start();
    ASSERT_TRUE(d.running());

    EXPECT_EQ(d.enabledWindows(), kUsable) << "the hidden error window is not touched";
    EXPECT_EQ(d.enabledMenus(), 0);
    EXPECT_EQ(d.enabledButtons(), (QStringList{"mnuTbarEnable", "mnuTbarStop", "mnuTbarPosition"}));
    // The menus' shortcuts are silent too; the usable buttons work.
    d.main->mnuFile(11)->trigger();
    EXPECT_TRUE(d.rig.boxes.isEmpty());
    d.button("mnuTbarPosition")->trigger();
    EXPECT_TRUE(d.form("frmPosition")->isEnabled());

    PanelTestRig::click(d.go());
    EXPECT_FALSE(d.running());
    EXPECT_EQ(d.lines(), QStringList{"1ST\r"});
    d.expectAllBack();
}

TEST(CycleLockOutTest, ErrorsTheStopPanelAndClosingTheWindowEndTheLockOut)
{
    CycleDesk d;
    // An error found by the error panel stops the cycle.
    d.start();
    QMetaObject::invokeMethod(d.panelOf("frmErrors"), "ErrorsDetected");
    EXPECT_FALSE(d.running());
    EXPECT_EQ(d.lines(), QStringList{"1ST\r"});
    d.expectAllBack();

    // The stop panel taking the focus stops the cycle before its own stop.
    d.start();
    QWidget* stopButton = d.panelOf("frmStop")->findChild<QWidget*>("btnEStop");
    d.main->activateWindow();
    QApplication::setActiveWindow(d.main);
    stopButton->setFocus(Qt::MouseFocusReason);
    // The cycle stop comes once the focus change has been handled.
    QCoreApplication::processEvents();
    EXPECT_FALSE(d.running());
    d.expectAllBack();

    // Closing the cycle window mid-cycle gives everything back.
    d.start();
    ASSERT_EQ(d.enabledMenus(), 0);
    Form::Unload(d.form("frmCycle"));
    d.expectAllBack();
}

TEST(CycleLockOutTest, AStopWhileNoCycleRunsLeavesOtherLockOutsAlone)
{
    CycleDesk d;
    // The menus are off for another reason (an initialisation, the terminal, a download).
    d.main->DisableMenu();
    d.sim().clearLog();
    QMetaObject::invokeMethod(d.panelOf("frmErrors"), "ErrorsDetected");
    EXPECT_EQ(d.lines(), QStringList{"1ST\r"}) << "the idle stop still stops the ticked axis";
    QWidget* stopButton = d.panelOf("frmStop")->findChild<QWidget*>("btnEStop");
    d.main->activateWindow();
    QApplication::setActiveWindow(d.main);
    stopButton->setFocus(Qt::MouseFocusReason);
    // The cycle stop comes once the focus change has been handled.
    QCoreApplication::processEvents();
    EXPECT_EQ(d.enabledMenus(), 0);
    EXPECT_TRUE(d.enabledButtons().isEmpty());
    d.main->EnableMenu();

    // A cycle's own lock-out is still lifted by the same stop.
    d.start();
    ASSERT_EQ(d.enabledMenus(), 0);
    QMetaObject::invokeMethod(d.panelOf("frmErrors"), "ErrorsDetected");
    EXPECT_FALSE(d.running());
    d.expectAllBack();
}

TEST(CycleLockOutTest, AWindowClosedDuringTheCycleIsLetGo)
{
    CycleDesk d;
    d.start();
    auto* cycleWindow = dynamic_cast<frmCycle*>(d.form("frmCycle"));
    ASSERT_NE(cycleWindow, nullptr);
    QPointer<Form> traj = d.form("frmTrajectory");
    QPointer<Form> jog = d.form("frmJog");
    ASSERT_FALSE(traj->isEnabled());
    EXPECT_EQ(cycleWindow->disabledForms().size(), 7);

    // Closed mid-cycle, and at once when the cycle ends: neither is held any more.
    Form::Unload(traj);
    EXPECT_TRUE(platform::Clock::pumpUntil([&] { return traj.isNull(); }, 2000)) << "the closed window is gone";
    Form::Unload(jog);
    EXPECT_FALSE(cycleWindow->disabledForms().contains(jog.data()));
    EXPECT_EQ(cycleWindow->disabledForms().size(), 5);
    // Opened anew during the cycle, it is a window the cycle never disabled.
    d.dispatch("mnuTbarTrajectory");
    Form* again = d.form("frmTrajectory");
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->isEnabled());
    EXPECT_FALSE(cycleWindow->disabledForms().contains(again));

    PanelTestRig::click(d.go());
    EXPECT_FALSE(d.running());
    d.expectAllBack();
}

TEST(CycleLockOutTest, ALinkFailureDuringTheCycleLiftsTheLockOut)
{
    // Found by another window's poll: the link's tick stops, so the cycle panel never sees it.
    {
        CycleDesk d;
        d.start();
        platform::RuntimeError error(1001, QStringLiteral("Break"), QStringLiteral("test"));
        d.comm()->HandleError(error);
        EXPECT_TRUE(gCommBroken);
        EXPECT_FALSE(d.running());
        d.expectAllBack();
        // The bus can be chosen again.
        d.main->Menus()->item(MainMenu::Setup, 5)->trigger();
        ASSERT_NE(d.form("frmBusType"), nullptr);
        EXPECT_TRUE(d.form("frmBusType")->Visible());
    }
    // The device vanishing under the running cycle, found on the tick.
    {
        CycleDesk d;
        d.start();
        d.sim().vanish();
        for (int i = 0; i < 8 && !gCommBroken; ++i)
            emit d.comm()->Timer();
        EXPECT_TRUE(gCommBroken);
        EXPECT_FALSE(d.running());
        d.expectAllBack();
    }
}

TEST(CycleLockOutTest, ClosingTheProgramLeavesNoWindowLoaded)
{
    CycleDesk d;
    d.start();
    // The focus wanders into the stop panel as the windows close; nothing is loaded anew.
    d.main->activateWindow();
    QApplication::setActiveWindow(d.main);
    Form::Unload(d.form("frmCycle"));
    d.dispatch("mnuTbarStop");
    d.dispatch("mnuTbarJog");
    d.sim().clearLog();
    EXPECT_TRUE(d.main->close());
    EXPECT_TRUE(Form::Forms().isEmpty());
    EXPECT_TRUE(d.lines().isEmpty()) << d.lines().join(' ').toStdString();
    EXPECT_NE(d.rig.stored("frmStop", "Left"), QStringLiteral("<none>"));
}

// ---------------------------------------------------------------------------------------------
// Quick clicks: the release is already queued when the press is handled

namespace {

struct QuickDesk : CycleDesk {
    QuickDesk()
    {
        main->activateWindow();
        QApplication::setActiveWindow(main);
    }
    QWidget* child(const QString& window, const QString& name)
    {
        return panelOf(window)->findChild<QWidget*>(name);
    }
    // The lines one quick click sent; the button must not stay down.
    QStringList quickClick(QWidget* w)
    {
        sim().clearLog();
        PanelTestRig::quickClick(w);
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_FALSE(button->isDown()) << w->objectName().toStdString() << " stays pressed";
        }
        return lines();
    }
};

} // namespace

TEST(QuickClickTest, TheStopButtonStopsEveryAxisFirstThenTheCycle)
{
    QuickDesk d;
    QWidget* stop = d.child("frmStop", "btnEStop");
    QWidget* reset = d.child("frmCycle", "cmdReset");
    for (int i = 0; i < 3; ++i) {
        // The focus elsewhere, so each click brings it into the stop window.
        d.quickClick(reset);
        EXPECT_EQ(d.quickClick(stop), (QStringList{"0ST\r", "1ST\r"})) << "click " << i;
    }
    // With the focus already there, the button alone.
    EXPECT_EQ(d.quickClick(stop), QStringList{"0ST\r"});

    // A running cycle ends too, after the stop of every axis.
    d.quickClick(reset);
    d.start();
    ASSERT_TRUE(d.running());
    EXPECT_EQ(d.quickClick(stop), (QStringList{"0ST\r", "1ST\r"}));
    EXPECT_FALSE(d.running());
    d.expectAllBack();
}

TEST(QuickClickTest, EveryButtonOfTheMotionWindowsActsOnce)
{
    PointLocale point; // the distances below are typed with a decimal point
    QuickDesk d;
    // Cycle: start, stop, the axis box, and the counter reset. (Before the home search, which
    // locks the cycle out while it runs.)
    EXPECT_TRUE(d.quickClick(d.go()).isEmpty());
    EXPECT_TRUE(d.running());
    EXPECT_EQ(d.quickClick(d.go()), QStringList{"1ST\r"});
    EXPECT_FALSE(d.running());
    auto* axis2 = qobject_cast<QAbstractButton*>(d.child("frmCycle", "chkAxis_1"));
    d.quickClick(axis2);
    EXPECT_TRUE(axis2->isChecked());
    d.quickClick(axis2);
    EXPECT_FALSE(axis2->isChecked());
    auto* count = d.panelOf("frmCycle")->findChild<QLabel*>("lblCount");
    count->setText("7");
    EXPECT_TRUE(d.quickClick(d.child("frmCycle", "cmdReset")).isEmpty());
    EXPECT_EQ(count->text(), QStringLiteral("0"));

    // Jog, free run: a press released at once starts nothing and stops the axis.
    PanelBase* jog = d.panelOf("frmJog");
    ASSERT_TRUE(qobject_cast<QAbstractButton*>(d.child("frmJog", "optMode_1"))->isChecked());
    const QStringList held[4] = {{"1MD?\r", "1ST\r", "1MD?\r"}, {"1MD?\r", "1ST\r", "1MD?\r"},
                                 {"2MD?\r", "2ST\r", "2MD?\r"}, {"2MD?\r", "2ST\r", "2MD?\r"}};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(d.quickClick(d.child("frmJog", QStringLiteral("btnJog_%1").arg(k))), held[k]) << k;
    // Indexed: motor on and one move by the distance, each way.
    d.quickClick(d.child("frmJog", "optMode_0"));
    for (QLineEdit* box : jog->findChildren<QLineEdit*>(QRegularExpression("^txtDistance_")))
        box->setText("2.5");
    const QStringList moved[4] = {{"1MO\r", "1PR-2.5\r"}, {"1MO\r", "1PR 2.5\r"},
                                  {"2MO\r", "2PR 2.5\r"}, {"2MO\r", "2PR-2.5\r"}};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(d.quickClick(d.child("frmJog", QStringLiteral("btnJog_%1").arg(k))), moved[k]) << k;

    // Motor power: all on, all off, and axis 1 on its own.
    const QStringList asked{"1MO?\r", "2MO?\r", "3MO?\r", "4MO?\r"};
    EXPECT_EQ(d.quickClick(d.child("frmEnable", "btnAllOn")),
              QStringList({"1MO\r", "2MO\r", "3MO\r", "4MO\r"}) + asked);
    EXPECT_EQ(d.quickClick(d.child("frmEnable", "btnAllOff")),
              QStringList({"1MF\r", "2MF\r", "3MF\r", "4MF\r"}) + asked);
    EXPECT_EQ(d.quickClick(d.child("frmEnable", "bitMotorPower_0")).filter(QRegularExpression("^1M[OF]\r$")),
              QStringList{"1MO\r"});

    // Tuning: help opened once, and Apply writing each value once.
    d.quickClick(d.child("frmTrajectory", "cmdButton_0"));
    EXPECT_EQ(d.opened.size(), 1);
    const QStringList applied = d.quickClick(d.child("frmTrajectory", "cmdButton_3"));
    EXPECT_FALSE(applied.isEmpty());
    EXPECT_EQ(QSet<QString>(applied.begin(), applied.end()).size(), applied.size()) << "nothing written twice";

    // Home: one search started on axis 1.
    EXPECT_EQ(d.quickClick(d.child("frmHome", "btnStart")), (QStringList{"1OM0\r", "1MO\r", "1OR0\r"}));
}
