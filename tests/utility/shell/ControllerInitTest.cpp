#include "tests/support/ControllerHandlers.h"
#include "tests/support/ShellRig.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/link/Rs232Transport.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "tests/support/PanelTestRig.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/DataFiles.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmBusType.h"
#include "utility/shell/frmMain.h"
#include "utility/shell/frmSplash.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace KvlXGlobal;
using platform::Clock;

namespace {

// The program clock runs only as the code waits, so an 18-second wait takes no real time.
// Waits take no real time but a millisecond each, so the simulator's thread reads what was
// sent before a wait ends (a reset closes the port, discarding output not yet taken).
struct TestClock {
    TestClock() { Clock::useManualClock(1000, 1); }
    ~TestClock() { Clock::useRealClock(); }
};

void writeTable(const ShellRig& rig, const QByteArray& text)
{
    QFile file(rig.folder() + QStringLiteral("/KVLAxes.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

frmSplash* splash()
{
    return dynamic_cast<frmSplash*>(Form::loadedForm(QStringLiteral("frmSplash")));
}

QList<short> limits(frmMain* main)
{
    const CGuiState* gui = main->mobjGuiState();
    return {gui->MaxAxes(), gui->MaxFeedbackAxes(), gui->MaxDigitalChannels(), gui->MaxAnalogChannels()};
}

QList<short> globalLimits()
{
    return {gMaxAxes, gMaxFeedbackAxes, gMaxDigitalChannels, gMaxAnalogChannels};
}

QStringList lines(SimController& sim)
{
    QStringList result;
    for (const QByteArray& line : sim.lines())
        result << QString::fromLatin1(line);
    return result;
}

// The main window started on the serial link to the simulator, with the reset question answered No
// and the link's tick stopped, so only what the test does reaches the controller.
frmMain* startOnSerial(ShellRig& rig)
{
    rig.useSerialLink();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    frmMain* main = rig.start();
    rig.comm()->setTimerEnabled(false);
    rig.withSim([](SimController& sim) { sim.clearLog(); });
    rig.boxes.clear();
    return main;
}

// The same on an in-process bus, the simulator being a USB device or a PCI board.
frmMain* startInProcess(ShellRig& rig, SimDevice& device, BUS_TYPE bus)
{
    if (bus == BUS_TYPE_PCI)
        device.installOnPci(0);
    else
        device.installOnUsb(0);
    rig.store(QStringLiteral("KVLComm"), QStringLiteral("BusType"), QString::number(bus));
    rig.store(QStringLiteral("KVLComm"), QStringLiteral("DeviceID"), QStringLiteral("0"));
    rig.store(QStringLiteral("frmMain"), QStringLiteral("FirstTime"), QStringLiteral("0"));
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    frmMain* main = rig.start();
    rig.comm()->setTimerEnabled(false);
    device.controller().clearLog();
    rig.boxes.clear();
    return main;
}

// The controller on the bus now names itself so, and the link is opened again to learn it, as a
// re-initialisation does: a link takes as an identification only what its opening learned.
void identifyAs(ShellRig& rig, SimController& sim, const QByteArray& identification)
{
    sim.setReply("VE?", identification);
    ASSERT_EQ(rig.comm()->KVLInit(), 0);
}

} // namespace

TEST(ControllerInitTest, SerialStartIdentifiesTheModelAndReportsEveryAxis)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    writeTable(rig, "\"KVL200\",2,2,16,4\n\"KVL410\",4,4,24,8\n");
    frmMain* main = startOnSerial(rig);
    rig.withSim([](SimController& sim) {
        sim.setWord(0, "ZU", 0x5);           // amplifiers on axes 1 and 3
        sim.setHardwareStatus(0x0808, 0);    // axis 4 sits on both limits
        sim.setValue(3, "QM", "2");
        sim.setValue(4, "QM", "0");          // and has no motor type: no line for it
        sim.setReply("2ID?", "XY-200, rev B\r\n");
    });

    InitializeController(false);

    EXPECT_EQ(rig.simLines(), (QStringList{"VE?", "VE?", "ZU?", "PH?", "1ID?", "1QM?", "2ID?", "3ID?", "3QM?",
                                           "4ID?", "4QM?"}));
    EXPECT_EQ(limits(main), (QList<short>{4, 4, 24, 8}));
    EXPECT_EQ(globalLimits(), (QList<short>{4, 4, 24, 8}));
    EXPECT_EQ(gModel, QStringLiteral("KVL410"));
    EXPECT_TRUE(gAmplifierPresent);
    EXPECT_TRUE(gAmpPowerOn);
    EXPECT_TRUE(gAmpPowerWasOn);

    frmSplash* wait = splash();
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->lblInfo(), QStringLiteral("Axis - 1  Axorn7100 Amplifier Detected\r\n"
                                              "Axis - 3  Axorn7100 Amplifier Detected\r\n"
                                              "\r\n"
                                              "Axis - 1  Stage Unknown (Configured As DC Motor)\r\n"
                                              "Axis - 2  XY-200 Stage Detected\r\n"
                                              "Axis - 3  Stage Unknown (Configured As Stepper Motor)\r\n"));
    EXPECT_EQ(wait->windowTitle(), QStringLiteral("KVL410 Detected On Com %1").arg(ShellRig::SimPort));
    EXPECT_EQ(wait->Label1()->text(), QStringLiteral("KVL410 Initialized"));
    EXPECT_TRUE(wait->btnOK()->isEnabled());
    EXPECT_FALSE(wait->animationPlaying());
    EXPECT_TRUE(rig.comm()->TimerEnabled());
    EXPECT_TRUE(main->mnuMain(0)->menuAction()->isEnabled());
    EXPECT_TRUE(rig.boxes.isEmpty());

    // OK is the default button: keypad Enter in the report box presses it, but not while OK is
    // disabled (the initialisation still runs).
    auto* report = wait->findChild<QWidget*>(QStringLiteral("lblInfo"));
    ASSERT_NE(report, nullptr);
    report->setFocus();
    EXPECT_TRUE(wait->btnOK()->isDefault());
    wait->btnOK()->setEnabled(false);
    QTest::keyClick(report, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(splash(), wait);
    wait->btnOK()->setEnabled(true);
    QTest::keyClick(report, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmSplash")), nullptr);
}

TEST(ControllerInitTest, ResetWaitsForTheRestartAndAnUnknownModelGetsTheDefaultsTwice)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    writeTable(rig, "\"KVL410\",4,4,24,8\n");
    frmMain* main = startOnSerial(rig);
    rig.withSim([](SimController& sim) { sim.setModel("KVL999 Version 1.0"); });

    const qint64 start = Clock::tickMs();
    InitializeController(true);

    EXPECT_GE(Clock::tickMs() - start, 18500);
    // The link reopened after the restart proves nothing: the first query asks for the
    // identification first.
    QStringList expected{"QP", "RS", "VE?", "VE?", "VE?", "ZU?", "PH?"};
    for (int axis = 1; axis <= 6; ++axis)
        expected << QStringLiteral("%1ID?").arg(axis) << QStringLiteral("%1QM?").arg(axis);
    EXPECT_EQ(rig.simLines(), expected);
    EXPECT_EQ(limits(main), (QList<short>{6, 8, 24, 8}));
    EXPECT_EQ(globalLimits(), (QList<short>{6, 8, 24, 8}));
    EXPECT_EQ(splash()->windowTitle(), QStringLiteral("KVL999 Detected On Com %1").arg(ShellRig::SimPort));
    EXPECT_TRUE(splash()->lblInfo().endsWith(QStringLiteral("Axis - 6  Stage Unknown - Motor Type Undefined\r\n")));
    EXPECT_TRUE(rig.comm()->IsOpen());
    EXPECT_TRUE(rig.comm()->TimerEnabled());
}

TEST(ControllerInitTest, SilentControllerIsReportedAsAFailureNeverAsInitialised)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    writeTable(rig, "\"KVL410\",4,4,24,8\n");
    frmMain* main = startOnSerial(rig);
    ASSERT_EQ(gModel, QStringLiteral("KVL410")); // identified at the start
    rig.withSim([](SimController& sim) { sim.setSilent(true); });

    InitializeController(true);

    // The second look asks again: an identification query given up on leaves nothing but an
    // identification to come, which no other query takes.
    EXPECT_EQ(rig.simLines(), (QStringList{"QP", "RS", "VE?", "VE?"}));
    frmSplash* wait = splash();
    EXPECT_EQ(wait->Label1()->text(), QStringLiteral("System initialization failed."));
    // A lost identification is no new model: the model and limits read at the start stay, and
    // the report says so.
    EXPECT_EQ(wait->lblInfo(), QStringLiteral("The controller does not answer.\r\n"
                                              "The model could not be read from the controller, so the model KVL410 "
                                              "and its limits (4 axes, 4 feedback axes, 24 digital and 8 analog "
                                              "channels) were not changed.\r\n"));
    EXPECT_EQ(gModel, QStringLiteral("KVL410"));
    EXPECT_EQ(limits(main), (QList<short>{4, 4, 24, 8}));
    EXPECT_EQ(globalLimits(), (QList<short>{4, 4, 24, 8}));
    main->UpdateStatusBar();
    EXPECT_EQ(main->StatusBarPanelText(1), QStringLiteral("Connected: KVL410"));

    // With nothing read yet (a first start on a silent line), the defaults stand in, as before.
    gModel.clear();
    main->mobjGuiState()->setMaxAxes(0);
    rig.withSim([](SimController& sim) { sim.clearLog(); });
    InitializeController(true);
    EXPECT_EQ(rig.simLines(), (QStringList{"QP", "RS", "VE?", "VE?"}));
    EXPECT_EQ(wait->lblInfo(), QStringLiteral("The controller does not answer.\r\n"));
    EXPECT_TRUE(gModel.isEmpty());
    EXPECT_EQ(limits(main), (QList<short>{6, 8, 24, 8}));
    EXPECT_EQ(globalLimits(), (QList<short>{6, 8, 24, 8}));
    EXPECT_EQ(wait->windowTitle(), QStringLiteral("KVL Initialization"));
    EXPECT_TRUE(wait->btnOK()->isEnabled());
    EXPECT_TRUE(rig.boxes.isEmpty());

    // Without a reset the identification of the link's own start fails: demo mode.
    rig.withSim([](SimController& sim) { sim.clearLog(); });
    InitializeController(false);
    EXPECT_EQ(rig.simLines(), QStringList{"VE?"});
    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(wait->windowTitle(), QStringLiteral("KVL Initialized in Demo Mode "));
    EXPECT_EQ(wait->Label1()->text(), QStringLiteral("Demo Mode "));
    // Return presses OK wherever the focus is in the window.
    auto* report = wait->findChild<QWidget*>(QStringLiteral("lblInfo"));
    ASSERT_NE(report, nullptr);
    report->setFocus();
    QTest::keyClick(report, Qt::Key_Return);
    EXPECT_EQ(splash(), nullptr);
}

TEST(ControllerInitTest, ResetAskedInDemoModeStaysInDemoMode)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    frmMain* main = rig.start(); // first start: no bus
    rig.boxes.clear();

    InitializeController(true);

    EXPECT_TRUE(rig.boxes.isEmpty()) << rig.prompts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
    EXPECT_TRUE(rig.comm()->IsOpen());
    EXPECT_EQ(splash()->windowTitle(), QStringLiteral("KVL Initialized in Demo Mode "));
    EXPECT_EQ(splash()->Label1()->text(), QStringLiteral("Demo Mode "));
    EXPECT_TRUE(splash()->btnOK()->isEnabled());
    EXPECT_EQ(limits(main), (QList<short>{0, 0, 0, 0}));
    EXPECT_TRUE(main->mnuMain(1)->menuAction()->isEnabled());
}

TEST(ControllerInitTest, LinkThatDoesNotOpenSkipsDetectionAndOffersTheBusWindow)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    rig.store(QStringLiteral("KVLComm"), QStringLiteral("BusType"), QStringLiteral("4"));
    rig.store(QStringLiteral("frmMain"), QStringLiteral("FirstTime"), QStringLiteral("0"));
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    frmMain* main = rig.start();
    rig.comm()->setBusType(BUS_TYPE_USB); // no USB device: the start fell back to demo mode
    rig.boxes.clear();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbYes); };

    InitializeController(true);

    EXPECT_EQ(rig.prompts(), (QStringList{QStringLiteral("Unable to Open the Specified USB Device"),
                                          QStringLiteral("System initialization failed.\r\nDo you want to continue?")}));
    frmSplash* wait = splash();
    EXPECT_EQ(wait->Label1()->text(), QStringLiteral("System initialization failed."));
    EXPECT_EQ(wait->lblInfo(), QStringLiteral("The link to the controller is not open.\r\n"));
    EXPECT_FALSE(wait->Label1()->text().contains(QStringLiteral("Initialized")));
    EXPECT_TRUE(gModel.isEmpty());
    EXPECT_EQ(limits(main), (QList<short>{0, 0, 0, 0}));
    EXPECT_TRUE(main->mnuMain(0)->menuAction()->isEnabled());
    // Yes to "continue" opens the bus window.
    Form* busWindow = Form::loadedForm(QStringLiteral("frmBusType"));
    ASSERT_NE(busWindow, nullptr);
    EXPECT_TRUE(busWindow->Visible());
}

TEST(ControllerInitTest, ModelTableLookup)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    SimDevice device;
    frmMain* main = startInProcess(rig, device, BUS_TYPE_USB);
    SimController& sim = device.controller();
    writeTable(rig, "KVL200 , 2, 2 ,16,4\r\n\"KVL400\",four,4,16,4\n\"KVL-Quill\",3,3,8\n\"KVL410\",4,4,24,8\n");

    // Unquoted fields, blanks around them, and a reply without a blank.
    identifyAs(rig, sim, "KVL200\r\n");
    EXPECT_FALSE(main->GetMaxAxes());
    EXPECT_EQ(gModel, QStringLiteral("KVL200"));
    EXPECT_EQ(limits(main), (QList<short>{2, 2, 16, 4}));
    EXPECT_EQ(globalLimits(), (QList<short>{2, 2, 16, 4}));

    // Malformed records of the model give the defaults.
    for (const char* model : {"KVL400 Version 3.1", "KVL-Quill 1.0"}) {
        identifyAs(rig, sim, QByteArray(model) + "\r\n");
        EXPECT_TRUE(main->GetMaxAxes()) << model;
        EXPECT_EQ(limits(main), (QList<short>{6, 8, 24, 8})) << model;
    }

    // A record is read whole or not at all. A line longer than 1023 bytes is no record: it is
    // passed over to its end (its tail once passed for a record of its own) and the lookup reads
    // on; a long comment once hid every record after it. A count followed by a NUL is no count.
    identifyAs(rig, sim, "KVL400\r\n");
    writeTable(rig, "; " + QByteArray(2000, 'c') + "\r\n\"KVL400\",4,4,16,4\r\n");
    EXPECT_FALSE(main->GetMaxAxes());
    EXPECT_EQ(limits(main), (QList<short>{4, 4, 16, 4}));
    identifyAs(rig, sim, "KVL410 Version 2.0\r\n");
    writeTable(rig, QByteArray(1023, 'x') + "\"KVL410\",1,1,1,1\r\n\"KVL410\",4,4,24,8\r\n");
    EXPECT_FALSE(main->GetMaxAxes());
    EXPECT_EQ(limits(main), (QList<short>{4, 4, 24, 8}));
    writeTable(rig, "\"KVL410\",4,4,24,8" + QByteArray(1023, ' ') + "\r\"KVL410\",1,1,1,1\r");
    EXPECT_FALSE(main->GetMaxAxes()) << "the model's own record, too long, is none either";
    EXPECT_EQ(limits(main), (QList<short>{1, 1, 1, 1}));
    writeTable(rig, QByteArray("\"KVL410\",8") + '\0' + ",4,24,8\r\n\"KVL410\",4,4,24,8\r\n");
    EXPECT_TRUE(main->GetMaxAxes());
    EXPECT_EQ(limits(main), (QList<short>{6, 8, 24, 8}));
    writeTable(rig, QByteArray(1023 - 16, 'x') + "\"KVL410\",1,1,1,1\r\n\"KVL410\",4,4,24,8\r\n");
    EXPECT_FALSE(main->GetMaxAxes()) << "a line of 1023 bytes is whole";
    EXPECT_EQ(limits(main), (QList<short>{4, 4, 24, 8}));

    // The exact model word only; no table at all gives the defaults as well.
    identifyAs(rig, sim, "kvl410 Version 2.0\r\n");
    EXPECT_TRUE(main->GetMaxAxes());
    QFile::remove(rig.folder() + QStringLiteral("/KVLAxes.ini"));
    identifyAs(rig, sim, "KVL410 Version 2.0\r\n");
    EXPECT_TRUE(main->GetMaxAxes());
    EXPECT_EQ(gModel, QStringLiteral("KVL410"));
    EXPECT_EQ(limits(main), (QList<short>{6, 8, 24, 8}));

    // A closed link asks nothing and changes nothing.
    gModel = QStringLiteral("before");
    rig.comm()->KVLClose();
    sim.clearLog();
    main->mobjGuiState()->setMaxAxes(3);
    EXPECT_FALSE(main->GetMaxAxes());
    EXPECT_TRUE(lines(sim).isEmpty());
    EXPECT_EQ(main->mobjGuiState()->MaxAxes(), 3);
    EXPECT_EQ(gModel, QStringLiteral("before"));
}

TEST(ControllerInitTest, ShippedTableKnowsEveryModel)
{
    const QString shipped = QCoreApplication::applicationDirPath() + QStringLiteral("/KVLAxes.ini");
    if (!QFile::exists(shipped))
        GTEST_SKIP() << "the program's data files are not built beside the tests";
    ShellRig rig;
    ControllerHandlers handlers;
    SimDevice device;
    frmMain* main = startInProcess(rig, device, BUS_TYPE_USB);
    setAppPath(QCoreApplication::applicationDirPath());
    for (const char* model : {"KVL410", "KVL400", "KVL200", "KVL7100", "KVL8100", "KVL-Quill"}) {
        device.controller().setModel(QByteArray(model) + " Version 1.0");
        ASSERT_EQ(rig.comm()->KVLInit(), 0) << model;
        EXPECT_FALSE(main->GetMaxAxes()) << model;
        EXPECT_GT(gMaxAxes, 0) << model;
        EXPECT_LE(gMaxFeedbackAxes, 12) << model;
    }
}

TEST(ControllerInitTest, AmplifierPowerWatchAsksOnceWhenPowerComesOn)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    SimDevice device;
    startInProcess(rig, device, BUS_TYPE_PCI);
    SimController& sim = device.controller();
    gMaxAxes = 2;
    gAmpPowerOn = gAmpPowerWasOn = false;

    // A word with its top bit set is one axis's limit, not every amplifier's fault.
    sim.setHardwareStatus(0x8000, 0);
    int nested = 0;
    rig.answer = [&](const ShellRig::Box&) {
        // A tick while the question is open starts no second check.
        sim.clearLog();
        CheckAmplifierPower();
        nested += int(lines(sim).size());
        return int(platform::vbNo);
    };
    CheckAmplifierPower();
    EXPECT_EQ(rig.prompts(), QStringList{QStringLiteral(
                                 "Amplifier power ON was detected. Do you want to reset and reinitialize the controller?")});
    EXPECT_EQ(nested, 0);
    EXPECT_TRUE(gAmpPowerOn);
    EXPECT_TRUE(gAmpPowerWasOn);

    // Still on: no question. The check asks each axis's motor type and power, then the status.
    sim.clearLog();
    CheckAmplifierPower();
    EXPECT_EQ(lines(sim), (QStringList{"1QM?", "1MO?", "2QM?", "2MO?", "PH?"}));
    EXPECT_EQ(rig.boxes.size(), 1);

    // Every amplifier faulted, then on again: asked again.
    sim.setHardwareStatus(0x30000, 0);
    CheckAmplifierPower();
    EXPECT_FALSE(gAmpPowerOn);
    EXPECT_EQ(rig.boxes.size(), 1);
    sim.setHardwareStatus(0, 0);
    CheckAmplifierPower();
    EXPECT_EQ(rig.boxes.size(), 2);

    // A motor switched on means power: the status is not read.
    sim.receive("1MO\r");
    sim.clearLog();
    CheckAmplifierPower();
    EXPECT_EQ(lines(sim), (QStringList{"1QM?", "1MO?"}));

    // Yes re-initialises with a reset (on PCI: the driver's initialisation, then identification).
    gAmpPowerWasOn = false;
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbYes); };
    sim.clearLog();
    CheckAmplifierPower();
    EXPECT_TRUE(lines(sim).contains(QStringLiteral("ZU?")));
    EXPECT_NE(splash(), nullptr);
}

// The watch runs in the link's tick. On the board bus a lost reply to the first motor-type query
// spends the tick: the watch's later queries are not sent, so no box names them and no power is
// concluded from a status word that was never read. The next check asks everything again.
TEST(ControllerInitTest, APowerWatchQueryLostOnTheBoardBusConcludesNothing)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    SimDevice device;
    startInProcess(rig, device, BUS_TYPE_PCI);
    SimController& sim = device.controller();
    gMaxAxes = 5;
    gAmpPowerOn = gAmpPowerWasOn = false;
    // Every amplifier reports a fault: power is off.
    sim.setHardwareStatus(0x1F0000, 0);
    sim.setReply("1QM?", "");
    KVLComm* comm = rig.comm();
    QObject::connect(comm, &KVLComm::Timer, comm, [] { CheckAmplifierPower(); });
    auto* timer = comm->findChild<QTimer*>(QStringLiteral("Timer1"));
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
    EXPECT_EQ(lines(sim), QStringList{"1QM?"});
    EXPECT_EQ(rig.prompts(), QStringList{QStringLiteral("Invalid response to command: 1QM?")});
    EXPECT_FALSE(gAmpPowerOn);

    // Answered again: the link is put back in step, and every axis and the status are read.
    sim.setReply("1QM?", "1\r\n");
    sim.clearLog();
    rig.boxes.clear();
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
    EXPECT_EQ(lines(sim).mid(0, 2), (QStringList{"VE?", "1QM?"}));
    EXPECT_EQ(lines(sim).last(), QStringLiteral("PH?"));
    EXPECT_TRUE(rig.boxes.isEmpty()) << rig.prompts().join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(gAmpPowerOn);
    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_PCI);
}

TEST(ControllerInitTest, ResetRepeatsARefusedCommandAndWaitsOnTheTestClock)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    SimDevice device;
    startInProcess(rig, device, BUS_TYPE_USB);
    rig.comm()->setTimerEnabled(true);
    device.controller().failNext(5); // the first "RS" is refused by the driver

    const qint64 start = Clock::tickMs();
    ResetController();

    EXPECT_EQ(lines(device.controller()), QStringList{"RS"});
    EXPECT_GE(Clock::tickMs() - start, 18500);
    EXPECT_LT(Clock::tickMs() - start, 20000);
    EXPECT_TRUE(rig.comm()->IsOpen());
    EXPECT_FALSE(rig.comm()->TimerEnabled());
}

TEST(ControllerInitTest, WaitsEndEarlyWhenTheLinkClosesOrTheProgramCloses)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    SimDevice device;
    frmMain* main = startInProcess(rig, device, BUS_TYPE_USB);
    ASSERT_TRUE(rig.comm()->IsOpen());

    QTimer::singleShot(0, rig.comm(), [&] { rig.comm()->KVLClose(); });
    qint64 start = Clock::tickMs();
    DelayMs(10000);
    EXPECT_LT(Clock::tickMs() - start, 1000);

    // With the link closed, the wait runs its time ...
    start = Clock::tickMs();
    DelayMs(3000);
    EXPECT_GE(Clock::tickMs() - start, 3000);

    // ... unless the main window is asked to close; the close itself waits for the wait to end.
    QTimer::singleShot(0, main, [main] { main->close(); });
    start = Clock::tickMs();
    DelayMs(10000);
    EXPECT_LT(Clock::tickMs() - start, 1000);
    EXPECT_NE(frmMain::instance(), nullptr);
}

TEST(ControllerInitTest, SaveToFlashAndDemoMode)
{
    ShellRig rig;
    ControllerHandlers handlers;
    SimDevice device;
    frmMain* main = startInProcess(rig, device, BUS_TYPE_USB);
    SimController& sim = device.controller();

    rig.answer = [](const ShellRig::Box&) { return int(platform::vbCancel); };
    SaveToFlash();
    EXPECT_TRUE(lines(sim).isEmpty());
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbOK); };
    SaveToFlash();
    EXPECT_EQ(lines(sim), QStringList{"SM"});
    ASSERT_EQ(rig.boxes.size(), 2);
    EXPECT_EQ(rig.boxes[1].prompt, QStringLiteral("Save Values To Controllers Flash Memory"));
    EXPECT_EQ(rig.boxes[1].style, platform::vbOKCancel + platform::vbQuestion + platform::vbMsgBoxSetForeground);

    // Demo mode on: no question, no bus; saving to flash then does nothing at all.
    rig.boxes.clear();
    SetDemoMode();
    EXPECT_TRUE(gDemoMode);
    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(main->StatusBarPanelText(2), QStringLiteral("Demo Mode"));
    SaveToFlash();
    EXPECT_TRUE(rig.boxes.isEmpty());

    // Off again after "KVL will reset first."; Cancel keeps it on.
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbCancel); };
    SetDemoMode();
    EXPECT_TRUE(gDemoMode);
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbOK); };
    SetDemoMode();
    EXPECT_FALSE(gDemoMode);
    EXPECT_EQ(main->StatusBarPanelText(2), QString());
    EXPECT_EQ(rig.prompts(), (QStringList{QStringLiteral("KVL will reset first."), QStringLiteral("KVL will reset first.")}));
}

// A start-up whose status queries go unanswered (every other query answered at once) concludes
// nothing from them: no power state, no absent amplifier, no limits, no motor type "0"; the power
// watch, reading what the start-up could not, then finds the power and asks as for a change.
TEST(ControllerInitTest, StatusWordsNotReadAtTheStartConcludeNothing)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    writeTable(rig, "\"KVL410\",3,3,24,8\n");
    startOnSerial(rig);
    rig.withSim([](SimController& sim) {
        sim.setWord(0, "ZU", 0x1);
        sim.setHardwareStatus(0x0202, 0); // axis 2 on both limits, every amplifier powered
        sim.setValue(1, "QM", "1");
        sim.setValue(2, "QM", "2");
        sim.setValue(3, "QM", "4");
        sim.setReply("ZU?", "");
        sim.setReply("PH?", "");
        sim.setReply("3QM?", "");
    });
    gAmplifierPresent = false;
    gAmpPowerOn = false;
    gAmpPowerWasOn = false;

    InitializeController(false);

    EXPECT_FALSE(gAmpPowerOn) << "no power state concluded";
    EXPECT_FALSE(gAmpPowerWasOn);
    EXPECT_FALSE(gAmplifierPresent);
    frmSplash* wait = splash();
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->lblInfo(), QStringLiteral("The amplifiers could not be read from the controller\r\n"
                                              "\r\n"
                                              "Axis - 1  Stage Unknown (Configured As DC Motor)\r\n"
                                              "Axis - 2  Stage Unknown (Configured As Stepper Motor)\r\n"
                                              "Axis - 3  An error has occurred while attempting to determine the motor type\r\n"));
    EXPECT_EQ(wait->Label1()->text(), QStringLiteral("KVL410 Initialized"));
    EXPECT_TRUE(rig.boxes.isEmpty()) << rig.prompts().join(QLatin1Char('|')).toStdString();

    // The watch agrees: while the status is still lost it concludes nothing and asks nothing ...
    rig.comm()->setTimerEnabled(false);
    rig.withSim([](SimController& sim) { sim.setReply("3QM?", "4\r\n"); });
    rig.boxes.clear();
    CheckAmplifierPower();
    EXPECT_FALSE(gAmpPowerOn);
    EXPECT_FALSE(gAmpPowerWasOn);
    EXPECT_EQ(rig.prompts(), QStringList{QStringLiteral("Invalid response to command: PH?")});

    // ... and a motor type lost ends the check before the status is asked.
    rig.withSim([](SimController& sim) {
        sim.clearReplies();
        sim.setReply("2QM?", "");
        sim.clearLog();
    });
    rig.boxes.clear();
    CheckAmplifierPower();
    QStringList asked = rig.simLines();
    asked.removeAll(QStringLiteral("VE?"));
    EXPECT_EQ(asked, (QStringList{"1QM?", "1MO?", "2QM?"}));
    EXPECT_FALSE(gAmpPowerOn);

    // Read at last, the power is found on and asked about once.
    rig.withSim([](SimController& sim) { sim.clearReplies(); });
    rig.boxes.clear();
    CheckAmplifierPower();
    EXPECT_TRUE(gAmpPowerOn);
    EXPECT_TRUE(gAmpPowerWasOn);
    EXPECT_EQ(rig.prompts(), QStringList{QStringLiteral(
                                 "Amplifier power ON was detected. Do you want to reset and reinitialize the controller?")});
}
