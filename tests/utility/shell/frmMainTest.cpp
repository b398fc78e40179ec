#include "tests/support/ControllerHandlers.h"
#include "tests/support/ResetAnswer.h"
#include "tests/support/ShellRig.h"

#include "library/link/KVLComm.h"
#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "utility/shell/Form.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmBusType.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmMain.h"

#include <QAction>
#include <QComboBox>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

using namespace KvlXGlobal;
using platform::Clock;

namespace {

const QString kReset = ResetAnswer::prompt();

QStringList panels(const frmMain* main)
{
    QStringList texts;
    for (int i = 1; i <= main->StatusBarPanelCount(); ++i)
        texts << main->StatusBarPanelText(i);
    return texts;
}

void fail(ShellRig& rig, int number)
{
    platform::RuntimeError error(number, QStringLiteral("Link failure"), QStringLiteral("test"));
    rig.comm()->HandleError(error);
}

} // namespace

TEST(frmMainTest, FirstStartOnAnEmptyStoreOpensTheBusWindowAndRunsInDemoMode)
{
    ShellRig rig;
    int busWindows = 0;
    int initialisations = 0;
    frmMain::setShowBusTypeHandler([&] { ++busWindows; });
    frmMain::setInitializeControllerHandler([&](bool) { ++initialisations; });

    frmMain* main = rig.start();

    EXPECT_EQ(main->windowTitle(), QStringLiteral("Moxtrel Version 5.1"));
    EXPECT_EQ(busWindows, 1);
    EXPECT_EQ(initialisations, 0);
    EXPECT_TRUE(rig.boxes.isEmpty()) << rig.prompts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(gFirstRun);
    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(panels(main), (QStringList{"Disconnected", "Demo Mode", ""}));
    EXPECT_EQ(main->mnuSetup(4)->text(), QStringLiteral("Motor Driver"));

    // The error window is loaded but not shown; the link's tick runs at 50 ms.
    frmErrors* errors = dynamic_cast<frmErrors*>(Form::loadedForm(QStringLiteral("frmErrors")));
    ASSERT_NE(errors, nullptr);
    EXPECT_FALSE(errors->Visible());
    EXPECT_NE(errors->KVLError1(), nullptr);
    EXPECT_TRUE(rig.comm()->TimerEnabled());
    EXPECT_EQ(rig.comm()->Interval(), 50);
    EXPECT_EQ(gChildFormNames.size(), 24);
    EXPECT_NE(main->mobjGuiState(), nullptr);
}

TEST(frmMainTest, LaterStartAsksToResetAndOpensTheSerialLink)
{
    ShellRig rig;
    rig.useSerialLink();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };

    frmMain* main = rig.start();

    ASSERT_GE(rig.boxes.size(), 1);
    EXPECT_EQ(rig.boxes[0].prompt, kReset);
    EXPECT_EQ(rig.boxes[0].style, platform::vbYesNo + platform::vbQuestion);
    EXPECT_EQ(rig.boxes[0].title, QStringLiteral("Moxtrel Utility - Reset Controller"));
    EXPECT_EQ(rig.boxes.size(), 1);
    EXPECT_FALSE(gFirstRun);

    // No still opens the link; the controller was asked who it is.
    EXPECT_TRUE(rig.comm()->IsOpen());
    EXPECT_TRUE(rig.simLines().contains(QStringLiteral("VE?")));
    EXPECT_EQ(panels(main), (QStringList{"Connected: ", "RS232", QStringLiteral("COM%1").arg(ShellRig::SimPort),
                                         "19200,n,8,1"}));

    // A serial link through a USB port reads so; another bus drops the fourth panel again.
    gBusChoice = 5;
    main->UpdateStatusBar();
    EXPECT_EQ(main->StatusBarPanelText(2), QStringLiteral("USB VCP"));
    EXPECT_EQ(main->StatusBarPanelCount(), 4);
    rig.comm()->setBusType(BUS_TYPE_GPIB);
    rig.comm()->setDeviceID(9);
    gModel = QStringLiteral("KVL7100");
    main->UpdateStatusBar();
    EXPECT_EQ(panels(main), (QStringList{"Connected: KVL7100", "GPIB", "Device ID: 9"}));
    EXPECT_EQ(main->mnuSetup(4)->text(), QStringLiteral("Axorn"));
}

TEST(frmMainTest, ResetAnswerReachesTheInitialisation)
{
    ShellRig rig;
    rig.store("frmMain", "FirstTime", "0");
    QList<bool> resets;
    frmMain::setInitializeControllerHandler([&](bool bReset) { resets << bReset; });

    rig.answer = [](const ShellRig::Box&) { return int(platform::vbYes); };
    rig.start();
    rig.destroyMain();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    rig.start();

    EXPECT_EQ(resets, (QList<bool>{true, false}));
}

TEST(frmMainTest, HandEditedSettingsFallBackToTheDefaults)
{
    ShellRig rig;
    rig.writeStoreText("[KVLComm]\nBusType=serial\nDeviceID=-4\nCommPort=0\nBaud=fast\n[frmMain]\nFirstTime=0\n");
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    rig.start();

    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(rig.comm()->DeviceID(), 1);
    EXPECT_EQ(rig.comm()->CommPort(), 1);
    EXPECT_EQ(rig.comm()->Settings(), QStringLiteral("19200,n,8,1"));
    // Only the reset question: no error box, no break reported.
    EXPECT_EQ(rig.prompts(), QStringList{kReset});
    EXPECT_FALSE(gCommBroken);
    rig.destroyMain();

    // Out of range, and a settings text written without quotes, which is still one text.
    rig.boxes.clear();
    rig.writeStoreText("[KVLComm]\nBusType=7\nDeviceID=x1\nCommPort=70000\nBaud=9600,e,7,2\n[frmMain]\nFirstTime=no\n");
    int busWindows = 0;
    frmMain::setShowBusTypeHandler([&] { ++busWindows; });
    rig.start();
    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(rig.comm()->DeviceID(), 1);
    EXPECT_EQ(rig.comm()->CommPort(), 1);
    EXPECT_EQ(rig.comm()->Settings(), QStringLiteral("9600,e,7,2"));
    EXPECT_EQ(busWindows, 1); // an unreadable FirstTime is a first run
    EXPECT_TRUE(rig.boxes.isEmpty());
}

TEST(frmMainTest, AFramingThePortRefusesIsNeitherTakenAtStartNorSavedBack)
{
    // Four data bits pass as a settings text, but the port cannot be opened with them: read back,
    // they once cost an error 380 box and demo mode at every start.
    {
        ShellRig rig;
        rig.useSerialLink();
        rig.store(QStringLiteral("KVLComm"), QStringLiteral("Baud"), QStringLiteral("19200,n,4,1"));
        rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
        rig.start();
        EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_RS232);
        EXPECT_TRUE(rig.comm()->IsOpen());
        EXPECT_EQ(rig.comm()->Settings(), QStringLiteral("19200,n,8,1"));
        EXPECT_FALSE(rig.prompts().join(QLatin1Char('\n')).contains(QLatin1String("380")))
            << rig.prompts().join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(rig.main()->close());
        EXPECT_EQ(rig.stored("KVLComm", "BusType"), QStringLiteral("3"));
        EXPECT_EQ(rig.stored("KVLComm", "Baud"), QStringLiteral("19200,n,8,1"));
    }
    // A usable framing other than the default is kept.
    ShellRig rig;
    rig.start();
    rig.comm()->setSettings(QStringLiteral("9600,e,7,2"));
    rig.main()->SaveCommSettings(rig.main()->KVLComm1());
    EXPECT_EQ(rig.stored("KVLComm", "Baud"), QStringLiteral("9600,e,7,2"));
    // One the closed port took as a text is not saved.
    rig.comm()->setSettings(QStringLiteral("9600,e,4,2"));
    rig.main()->SaveCommSettings(rig.main()->KVLComm1());
    EXPECT_EQ(rig.stored("KVLComm", "Baud"), QStringLiteral("19200,n,8,1"));
}

TEST(frmMainTest, TickUpdatesTheStatusBarEveryHundredAndWatchesPciPowerEveryForty)
{
    ShellRig rig;
    rig.start();
    KVLComm* comm = rig.comm();
    comm->setTimerEnabled(false);
    int watches = 0;
    frmMain::setCheckAmplifierPowerHandler([&] { ++watches; });

    comm->setBusType(BUS_TYPE_PCI);
    comm->setDeviceID(2);
    rig.main()->setTickCounter(0);
    for (int i = 0; i < 99; ++i)
        emit comm->Timer();
    EXPECT_EQ(rig.main()->StatusBarPanelText(2), QStringLiteral("Demo Mode"));
    EXPECT_EQ(watches, 2);
    emit comm->Timer();
    EXPECT_EQ(rig.main()->StatusBarPanelText(2), QStringLiteral("PCI"));
    EXPECT_EQ(rig.main()->StatusBarPanelText(3), QStringLiteral("Board #: 2"));

    // The counter wraps from 1,000,001 to 0, and that tick updates too.
    comm->setBusType(BUS_TYPE_NONE);
    rig.main()->setTickCounter(1000000);
    emit comm->Timer();
    EXPECT_EQ(rig.main()->TickCounter(), 0);
    EXPECT_EQ(rig.main()->StatusBarPanelText(2), QStringLiteral("Demo Mode"));
    EXPECT_EQ(watches, 2); // not on PCI any more
}

TEST(frmMainTest, BreakHidesTheWindowsAndReportsByTheBusThatFailed)
{
    ShellRig rig;
    rig.start();
    frmErrors* errors = Form::instance<frmErrors>();
    errors->Show();

    const QString brk = QStringLiteral("A break in communications has occurred\r\n\r\n");
    const QString demo = QStringLiteral("The application will be set to demo mode now");
    struct Case {
        int bus;
        int number;
        QString text;
    };
    const QList<Case> cases{
        {BUS_TYPE_RS232, 1001, brk + demo},
        {BUS_TYPE_GPIB, 1001, brk + QStringLiteral("Please check all cables, reset controller and try again.\r\n") + demo},
        {BUS_TYPE_USB, 8005, QStringLiteral("A Port Not Available Error has occurred.Restart both Moxtrel and The Motion Controller")},
        {BUS_TYPE_PCI, 0, QStringLiteral("A break in communications has been detected. System will be set to Demo Mode")},
        {BUS_TYPE_RS232, 42, QStringLiteral("An unhandled exception error has occurred - 42")},
    };
    for (const Case& c : cases) {
        rig.comm()->setBusType(c.bus);
        rig.main()->UpdateStatusBar();
        rig.boxes.clear();
        gCommBroken = false;
        fail(rig, c.number);
        ASSERT_FALSE(rig.boxes.isEmpty());
        EXPECT_EQ(rig.boxes.last().prompt, c.text) << c.number;
        EXPECT_EQ(rig.boxes.last().style, platform::vbOKOnly + platform::vbCritical);
        EXPECT_EQ(rig.boxes.last().title, QStringLiteral("!Error"));
        EXPECT_TRUE(gCommBroken);
    }
    // The windows are hidden, not unloaded; every panel is emptied before the two texts.
    EXPECT_FALSE(errors->Visible());
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmErrors")), errors);
    EXPECT_EQ(panels(rig.main()), (QStringList{"Disconnected", "Demo Mode", "", ""}));
}

TEST(frmMainTest, DeviceThatVanishesIsReportedOnceAndLeavesDemoMode)
{
    ShellRig rig;
    rig.useSerialLink();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    frmMain* main = rig.start();
    ASSERT_TRUE(rig.comm()->IsOpen());
    ASSERT_EQ(main->StatusBarPanelCount(), 4);
    rig.boxes.clear();

    rig.closeSim();
    // The error panel polls the controller on the tick; the dead port is found there.
    EXPECT_TRUE(Clock::pumpUntil([] { return gCommBroken; }, 5000));
    int reports = 0;
    for (const ShellRig::Box& b : rig.boxes)
        reports += b.title == QStringLiteral("!Error") ? 1 : 0;
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(main->StatusBarPanelText(1), QStringLiteral("Disconnected"));
    EXPECT_EQ(main->StatusBarPanelText(2), QStringLiteral("Demo Mode"));
    EXPECT_EQ(main->StatusBarPanelText(4), QString());
}

TEST(frmMainTest, ClosingSavesTheLinkAndEveryWindowsPlaceWithoutAsking)
{
    ShellRig rig;
    rig.useSerialLink();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    frmMain* main = rig.start();
    frmErrors* errors = Form::instance<frmErrors>();
    errors->Show();
    errors->setLeft(1500);
    errors->setTop(3000);
    errors->setWidth(7500);
    errors->setHeight(6300);
    rig.comm()->setDeviceID(4);
    rig.boxes.clear();

    EXPECT_TRUE(main->close());

    EXPECT_TRUE(rig.boxes.isEmpty());
    EXPECT_TRUE(gAppClosing);
    EXPECT_TRUE(Form::Forms().isEmpty());
    EXPECT_EQ(rig.stored("KVLComm", "BusType"), QStringLiteral("3"));
    EXPECT_EQ(rig.stored("KVLComm", "CommPort"), QString::number(ShellRig::SimPort));
    EXPECT_EQ(rig.stored("KVLComm", "DeviceID"), QStringLiteral("4"));
    EXPECT_EQ(rig.stored("KVLComm", "Baud"), QStringLiteral("19200,n,8,1"));
    EXPECT_EQ(rig.stored("frmMain", "FirstTime"), QStringLiteral("0"));
    EXPECT_EQ(rig.stored("frmErrors", "Left"), QStringLiteral("1500"));
    EXPECT_EQ(rig.stored("frmErrors", "Top"), QStringLiteral("3000"));
    EXPECT_EQ(rig.stored("frmErrors", "Width"), QStringLiteral("7500"));
    EXPECT_EQ(rig.stored("frmErrors", "Height"), QStringLiteral("6300"));
}

TEST(frmMainTest, WindowClosedMaximisedOrMinimisedOpensNormallyAtItsPlace)
{
    for (const Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowMinimized}) {
        ShellRig rig;
        rig.start();
        frmErrors* errors = Form::instance<frmErrors>();
        errors->Show();
        errors->setLeft(750);
        errors->setTop(1500);
        errors->setWidth(6000);
        errors->setHeight(4500);
        errors->frame()->setWindowState(state);
        Clock::pumpOnce();
        ASSERT_NE(errors->Width(), 6000);
        rig.main()->close();
        EXPECT_EQ(rig.stored("frmErrors", "Left"), QStringLiteral("750"));
        EXPECT_EQ(rig.stored("frmErrors", "Width"), QStringLiteral("6000"));
        EXPECT_EQ(rig.stored("frmErrors", "Height"), QStringLiteral("4500"));
        rig.destroyMain();

        rig.start();
        frmErrors* again = Form::instance<frmErrors>();
        again->Show();
        EXPECT_EQ(again->frame()->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized), Qt::WindowNoState);
        EXPECT_EQ(again->normalPlace(), QRect(750, 1500, 6000, 4500));
    }
}

TEST(frmMainTest, ExitAsksAndCancelOnlySavesTheLinkSettings)
{
    ShellRig rig;
    frmMain* main = rig.start();
    rig.boxes.clear();

    rig.answer = [](const ShellRig::Box&) { return int(platform::vbCancel); };
    main->mnuFile(11)->trigger();
    ASSERT_EQ(rig.boxes.size(), 1);
    EXPECT_EQ(rig.boxes[0].prompt, QStringLiteral("Do you want to exit Moxtrel Utility?"));
    EXPECT_EQ(rig.boxes[0].style, platform::vbOKCancel + platform::vbQuestion);
    EXPECT_EQ(rig.boxes[0].title, QStringLiteral("Moxtrel"));
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(rig.stored("KVLComm", "BusType"), QStringLiteral("0"));
    EXPECT_EQ(rig.stored("frmMain", "FirstTime"), QStringLiteral("1"));

    rig.answer = [](const ShellRig::Box&) { return int(platform::vbOK); };
    main->mnuFile(11)->trigger();
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(gAppClosing);

    // With the menus disabled, the shortcut's action does nothing either.
    rig.destroyMain();
    main = rig.start();
    rig.boxes.clear();
    main->DisableMenu();
    EXPECT_FALSE(main->mnuMain(0)->menuAction()->isEnabled());
    main->mnuFile(11)->trigger();
    EXPECT_TRUE(rig.boxes.isEmpty());
    main->EnableMenu();
    EXPECT_TRUE(main->mnuMain(5)->menuAction()->isEnabled());
}

TEST(frmMainTest, InitErrorOffersTheBusWindow)
{
    ShellRig rig;
    rig.start();
    int busWindows = 0;
    frmMain::setShowBusTypeHandler([&] { ++busWindows; });
    rig.boxes.clear();

    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    rig.main()->InitError();
    EXPECT_EQ(busWindows, 0);
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbYes); };
    rig.main()->InitError();
    EXPECT_EQ(busWindows, 1);
    ASSERT_EQ(rig.boxes.size(), 2);
    EXPECT_EQ(rig.boxes[0].prompt, QStringLiteral("System initialization failed.\r\nDo you want to continue?"));
    EXPECT_EQ(rig.boxes[0].style, platform::vbYesNo + platform::vbCritical);
    EXPECT_EQ(rig.boxes[0].title, QStringLiteral("Initialization Error"));
}

TEST(frmMainTest, ALinkThatFellToDemoModeIsSavedAsItWasInForceAndTriedAgain)
{
    // A break in communications while the serial link runs.
    {
        ShellRig rig;
        rig.useSerialLink();
        rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
        rig.start();
        ASSERT_TRUE(rig.comm()->IsOpen());
        rig.comm()->setDeviceID(4);
        rig.closeSim();
        ASSERT_TRUE(Clock::pumpUntil([] { return gCommBroken; }, 5000));
        ASSERT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
        EXPECT_TRUE(rig.main()->close());
        EXPECT_EQ(rig.stored("KVLComm", "BusType"), QStringLiteral("3"));
        EXPECT_EQ(rig.stored("KVLComm", "CommPort"), QString::number(ShellRig::SimPort));
        EXPECT_EQ(rig.stored("KVLComm", "DeviceID"), QStringLiteral("4"));
        EXPECT_EQ(rig.stored("KVLComm", "Baud"), QStringLiteral("19200,n,8,1"));

        rig.destroyMain();
        gCommBroken = false; // a new run of the program
        int tried = -1;
        frmMain::setInitializeControllerHandler([&](bool) { tried = rig.comm()->BusType(); });
        rig.start();
        EXPECT_EQ(tried, BUS_TYPE_RS232) << "the next start tries the link again";
    }
    // A start with the device missing falls back to demo mode; the bus window offers the serial
    // link again, and only the operator's choice of demo mode is saved as none.
    {
        ShellRig rig;
        ControllerHandlers handlers;
        qputenv("KVL_COM9", QByteArray("/nonexistent/kvl-tty"));
        rig.store(QStringLiteral("KVLComm"), QStringLiteral("BusType"), QStringLiteral("3"));
        rig.store(QStringLiteral("KVLComm"), QStringLiteral("CommPort"), QStringLiteral("9"));
        rig.store(QStringLiteral("KVLComm"), QStringLiteral("Baud"), QStringLiteral("9600,e,7,1"));
        rig.store(QStringLiteral("frmMain"), QStringLiteral("FirstTime"), QStringLiteral("0"));
        rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
        frmMain* main = rig.start();
        qunsetenv("KVL_COM9");
        ASSERT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
        EXPECT_EQ(main->fallenBusType(), BUS_TYPE_RS232);
        main->SaveCommSettings(main->KVLComm1());
        EXPECT_EQ(rig.stored("KVLComm", "BusType"), QStringLiteral("3"));
        EXPECT_EQ(rig.stored("KVLComm", "CommPort"), QStringLiteral("9"));
        EXPECT_EQ(rig.stored("KVLComm", "Baud"), QStringLiteral("9600,e,7,1"));

        main->ShowBusType();
        auto* window = dynamic_cast<frmBusType*>(Form::loadedForm(QStringLiteral("frmBusType")));
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->optBusType(3)->isChecked());
        EXPECT_EQ(window->cboDeviceID()->currentIndex(), 8);
        // Looking at the serial dialog from the bus window is no choice.
        window->cmdRS232Setup()->click();
        if (Form* dialog = Form::loadedForm(QStringLiteral("frmCommProps")))
            Form::Unload(dialog);
        EXPECT_EQ(main->fallenBusType(), BUS_TYPE_RS232);

        window->optBusType(0)->click();
        window->cmdApply()->click();
        EXPECT_EQ(main->fallenBusType(), BUS_TYPE_NONE);
        EXPECT_TRUE(main->close());
        EXPECT_EQ(rig.stored("KVLComm", "BusType"), QStringLiteral("0"));
    }
}
