#include "tests/support/EventGaps.h"
#include "tests/support/FaultyDevice.h"
#include "tests/support/ResetAnswer.h"
#include "tests/support/ShellRig.h"

#include "library/link/KVLComm.h"
#include "platform/drivers/PciDriver.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "utility/firmware/FirmwareFiles.h"
#include "utility/firmware/statusFlash.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/Form.h"
#include "utility/shell/MainMenu.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/SessionEnd.h"
#include "utility/shell/frmCycle.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmMain.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace KvlXGlobal;
using platform::Clock;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

const QString kComplete = QStringLiteral("Download complete. For the change to take effect, you need to reset the "
                                         "controller.\r\nDo you want to reset now?");
const QString kIncomplete = QStringLiteral("The controller's flash memory is incomplete and must be written again.");
const QString kBadHeader = QStringLiteral("Not A Valid KVL Firmware Program.");

// Waits take no real time; on the serial port a real millisecond each lets the simulator's thread
// keep up.
struct TestClock {
    explicit TestClock(int bus) { Clock::useManualClock(1000, bus == BUS_TYPE_RS232 ? 1 : 0); }
    ~TestClock() { Clock::useRealClock(); }
};

struct Dialog {
    QString title;
    QString dir;
    QString filter;
};

// The main window on the simulated controller (GPIB address 5, PCI board 0 or the serial port),
// the firmware window plugged in as the program's start does it, every box and file dialog
// answered and recorded.
struct FlashDesk {
    explicit FlashDesk(int bus)
        : clock(bus)
    {
        FirmwareFiles::setHomeFolder(rig.folder() + QStringLiteral("/home"));
        FirmwareFiles::setTemporaryFolder(rig.folder() + QStringLiteral("/cache"));
        statusFlash::Install();
        platform::setFileDialogHandler([this](bool, const QString& title, const QString& dir, const QString& filter) {
            dialogs << Dialog{title, dir, filter};
            return chosen.isEmpty() ? QString() : chosen.takeFirst();
        });
        if (bus == BUS_TYPE_RS232) {
            rig.useSerialLink();
        } else {
            if (bus == BUS_TYPE_GPIB)
                device.installOnGpib(5);
            else if (bus == BUS_TYPE_PCI)
                device.installOnPci(0);
            rig.store("KVLComm", "BusType", QString::number(bus));
            rig.store("KVLComm", "DeviceID", bus == BUS_TYPE_GPIB ? "5" : "0");
            rig.store("frmMain", "FirstTime", "0");
        }
        rig.answer = ResetAnswer::no([this](const ShellRig::Box& box) {
            if (box.title == QLatin1String("Reset!!!"))
                return resetAnswer;
            if (onBox)
                onBox(box);
            return box.style & 1 ? int(platform::vbOK) : box.style & 4 ? int(platform::vbYes) : int(platform::vbOK);
        });
        main = rig.start();
        comm()->setTimerEnabled(false);
        rig.boxes.clear();
        if (bus == BUS_TYPE_RS232)
            rig.withSim([](SimController& s) { s.clearLog(); });
        else
            sim().clearLog();
    }
    ~FlashDesk()
    {
        CommandDispatcher::setWindow(QStringLiteral("statusFlash"), {});
        platform::setFileDialogHandler({});
        FirmwareFiles::setHomeFolder(QString());
        FirmwareFiles::setTemporaryFolder(QString());
        platform::drivers::resetPciFlash();
    }

    KVLComm* comm() { return rig.comm(); }
    SimController& sim() { return device.controller(); }
    QStringList lines()
    {
        QStringList result;
        for (const QByteArray& line : sim().lines())
            result << QString::fromLatin1(line);
        return result;
    }

    QString image(const QString& name, const QByteArray& bytes)
    {
        const QString path = rig.folder() + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }

    // The firmware command of the main window, answered Yes.
    statusFlash* open()
    {
        main->MenuDispatch(QStringLiteral("mnuSetupFirmware"));
        rig.boxes.clear();
        return dynamic_cast<statusFlash*>(Form::loadedForm(QStringLiteral("statusFlash")));
    }
    QStringList prompts() const { return rig.prompts(); }
    bool asked(const QString& text) const
    {
        for (const QString& p : rig.prompts())
            if (p.contains(text))
                return true;
        return false;
    }
    bool menusEnabled() const { return main->mnuMain(0)->menuAction()->isEnabled(); }

    TestClock clock;
    FaultyDevice device;
    ShellRig rig;
    frmMain* main = nullptr;
    QStringList chosen;
    QList<Dialog> dialogs;
    int resetAnswer = platform::vbNo;
    std::function<void(const ShellRig::Box&)> onBox;
};

// A firmware image: the header, lines of all kinds, and the ETX line.
const QByteArray kFirmware = QByteArray("\x02\r\n$KVL firmware\r\n\r\nS1 data ") + QByteArray(1, '\0')
    + QByteArray("\xff\xb5 end\r\n\x03\r\n");

} // namespace

TEST(statusFlashTest, SerialFirmwareGoesOutByteForByte)
{
    FlashDesk d(BUS_TYPE_RS232);
    gModel = QStringLiteral("KVL400");
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->Visible());
    EXPECT_FALSE(d.comm()->TimerEnabled());
    EXPECT_FALSE(d.menusEnabled());
    EXPECT_EQ(window->cmdLoadFpga()->text(), QStringLiteral("Download FPGA"));
    EXPECT_EQ(window->lblUpdate()->text(), QStringLiteral("Select"));

    const QString path = d.image("new.fwr", kFirmware);
    d.chosen << path;
    QStringList stages;
    d.resetAnswer = platform::vbNo;
    d.rig.answer = [&, inner = d.rig.answer](const ShellRig::Box& box) {
        if (box.title == QLatin1String("Reset!!!"))
            stages << window->lblUpdate()->text() << window->lblFileName()->text();
        return inner(box);
    };
    QPointer<statusFlash> alive(window);
    window->cmdLoadFirmware()->click();

    QByteArray data;
    QByteArray target;
    QList<QByteArray> lines;
    d.rig.withSim([&](SimController& sim) {
        data = sim.downloadData();
        target = sim.downloadTarget();
        lines = sim.lines();
    });
    EXPECT_EQ(target, QByteArray("400"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QByteArray("Download 400"));
    // Each line without its end, CR added, the ETX line bare; NUL and high bytes unchanged.
    EXPECT_EQ(data, QByteArray("\x02\r$KVL firmware\r\rS1 data ") + QByteArray(1, '\0')
                        + QByteArray("\xff\xb5 end\r\x03"));

    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_EQ(d.rig.boxes[0].prompt, kComplete);
    EXPECT_EQ(d.rig.boxes[0].style, platform::vbYesNo);
    EXPECT_EQ(stages, (QStringList{"Download in Progress", QDir::toNativeSeparators(path)}));
    // The dialog starts in the model's firmware folder, made on first use.
    ASSERT_EQ(d.dialogs.size(), 1);
    EXPECT_EQ(d.dialogs[0].filter, QStringLiteral("(*.fwr) | *.fwr"));
    EXPECT_TRUE(d.dialogs[0].dir.endsWith(QStringLiteral("Tarvelle/KVL Motion Controllers/Controllers/KVL400/Fwr")));
    EXPECT_TRUE(QDir(d.dialogs[0].dir).exists());
    // The copy lies in the writable folder, not the program's.
    EXPECT_TRUE(QFile::exists(d.rig.folder() + QStringLiteral("/cache/tmp.xxx")));
    EXPECT_FALSE(QFile::exists(d.rig.folder() + QStringLiteral("/tmp.xxx")));

    // No: the window closes, menus and tick come back.
    EXPECT_EQ(Form::loadedForm(QStringLiteral("statusFlash")), nullptr);
    EXPECT_TRUE(d.menusEnabled());
    EXPECT_TRUE(d.comm()->TimerEnabled());
}

TEST(statusFlashTest, GpibResetMovesTheControllerBackToItsAddress)
{
    FlashDesk d(BUS_TYPE_GPIB);
    SimDevice atDefault; // the new firmware answers at address 1
    atDefault.installOnGpib(1);
    gModel = QStringLiteral("KVL200");
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    d.chosen << d.image("new.fwr", kFirmware);
    d.resetAnswer = platform::vbYes;
    window->cmdLoadFirmware()->click();

    const QStringList lines = d.lines();
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("Download 200"));
    EXPECT_EQ(lines[5], QStringLiteral("\x03"));
    // The reset comes first, then "SA" at address 1 and "SM" at the prior address.
    EXPECT_TRUE(lines.contains(QStringLiteral("RS")));
    EXPECT_EQ(lines.last(), QStringLiteral("SM"));
    EXPECT_EQ(atDefault.controller().lines(), (QList<QByteArray>{"SA5"}));
    EXPECT_EQ(d.comm()->DeviceID(), 5);
    EXPECT_EQ(Form::loadedForm(QStringLiteral("statusFlash")), nullptr);
}

TEST(statusFlashTest, WaitsEndAtTheirLimitWithAMessage)
{
    FlashDesk d(BUS_TYPE_GPIB);
    gModel = QStringLiteral("KVL400");

    // "Ready" later in the reply does not end the erase wait of the firmware: nothing more is sent.
    d.sim().setReply("Download 400", "Erasing... Ready\r\n");
    statusFlash* window = d.open();
    d.chosen << d.image("new.fwr", kFirmware);
    const qint64 start = Clock::tickMs();
    window->cmdLoadFirmware()->click();
    EXPECT_GE(Clock::tickMs() - start, statusFlash::EraseLimitMs);
    EXPECT_EQ(d.lines(), QStringList{"Download 400"});
    EXPECT_TRUE(d.asked(QStringLiteral("did not answer \"Ready\" within 120 seconds")));
    EXPECT_TRUE(d.asked(kIncomplete));
    EXPECT_FALSE(d.asked(QStringLiteral("Download complete")));
    EXPECT_EQ(Form::loadedForm(QStringLiteral("statusFlash")), nullptr);
    EXPECT_TRUE(d.menusEnabled());

    // The FPGA takes "Ready" anywhere; a controller that falls silent after the lines ends the
    // completion wait at its limit, and the window closes its download as after a failure.
    d.sim().clearReplies();
    d.sim().finishDownload();
    d.sim().deviceClear();
    d.sim().clearLog();
    d.rig.boxes.clear();
    d.sim().setReply("Download 420", "Erasing... Ready\r\n");
    QObject::connect(&d.sim(), &SimController::lineReceived, &d.sim(), [&](const QByteArray& line) {
        if (line == ":00000001FF")
            d.sim().setSilent(true);
    });
    window = d.open();
    ASSERT_NE(window, nullptr);
    d.chosen << d.image("new.hex", ":10000000AA\r\n:00000001FF\r\n");
    window->cmdLoadFpga()->click();
    EXPECT_EQ(d.lines(), (QStringList{"Download 420", ":10000000AA", ":00000001FF"}));
    EXPECT_TRUE(d.asked(QStringLiteral("did not answer \"Done\" within 60 seconds")));
    EXPECT_TRUE(d.asked(kIncomplete));
    EXPECT_FALSE(d.asked(QStringLiteral("Download complete")));
    EXPECT_FALSE(window->Visible());
    EXPECT_TRUE(window->cmdLoadFirmware()->isEnabled());
    EXPECT_TRUE(window->cmdLoadFpga()->isEnabled());
    EXPECT_TRUE(d.menusEnabled());
    EXPECT_TRUE(d.comm()->TimerEnabled());
}

TEST(statusFlashTest, ALinkCutAfterTheEraseSaysTheFlashIsIncomplete)
{
    FlashDesk d(BUS_TYPE_RS232);
    gModel = QStringLiteral("KVL-Quill");
    QByteArray big("\x02\r\n");
    for (int i = 0; i < 400; ++i)
        big += "$" + QByteArray(60, 'A') + "\r\n";
    big += "\x03\r\n";
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    d.chosen << d.image("new.fwr", big);
    // The controller goes away after the command and two lines.
    d.rig.withSim([](SimController& sim) { sim.vanishAfter(3); });
    window->cmdLoadFirmware()->click();

    EXPECT_TRUE(d.asked(kIncomplete));
    EXPECT_FALSE(d.asked(QStringLiteral("Download complete")));
    EXPECT_EQ(Form::loadedForm(QStringLiteral("statusFlash")), nullptr);
    EXPECT_TRUE(d.menusEnabled());
}

TEST(statusFlashTest, ImagesAreCheckedBeforeAnythingIsSent)
{
    FlashDesk d(BUS_TYPE_GPIB);
    gModel = QStringLiteral("KVL400");
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    d.chosen << d.image("bad.fwr", "\x02\r\n#rest\r\n") << d.image("short.fwr", "\x02\r")
             << d.rig.folder() + QStringLiteral("/missing.fwr");
    for (int i = 0; i < 3; ++i)
        window->cmdLoadFirmware()->click();

    EXPECT_TRUE(d.lines().isEmpty());
    ASSERT_EQ(d.rig.boxes.size(), 3);
    EXPECT_EQ(d.rig.boxes[0].prompt, kBadHeader);
    EXPECT_EQ(d.rig.boxes[1].prompt, kBadHeader);
    EXPECT_TRUE(d.rig.boxes[2].prompt.contains(QStringLiteral("missing.fwr could not be opened")));
    // The bad header is listed in the error window as well; this window stays open.
    Form* errors = Form::loadedForm(QStringLiteral("frmErrors"));
    ASSERT_NE(errors, nullptr);
    EXPECT_TRUE(errors->Visible());
    EXPECT_TRUE(window->Visible());
    EXPECT_TRUE(window->cmdLoadFirmware()->isEnabled());
    EXPECT_FALSE(window->cmdLoadFpga()->isEnabled());

    // An empty FPGA image is refused too, and the FPGA download closes as after a failure.
    window->cmdLoadFpga()->setEnabled(true);
    d.chosen << d.image("empty.hex", "");
    window->cmdLoadFpga()->click();
    EXPECT_TRUE(d.lines().isEmpty());
    EXPECT_TRUE(d.rig.boxes.last().prompt.contains(QStringLiteral("empty.hex is empty.")));
    EXPECT_FALSE(window->Visible());
    EXPECT_TRUE(d.menusEnabled());
}

TEST(statusFlashTest, CaptionsAndRefusalsByModelAndBus)
{
    FlashDesk d(BUS_TYPE_GPIB);
    struct Case {
        const char* model;
        const char* caption;
        bool fpga;
    };
    for (const Case& c : {Case{"KVL200", "Download Firmware", true}, Case{"KVL7100", "Download Firmware", false},
                          Case{"KVL8100", "Download DSP and\nCPU Firmware", false},
                          Case{"KVL-Quill", "Download Firmware", true}, Case{"KVL410", "Download Firmware", false}}) {
        gModel = QString::fromLatin1(c.model);
        if (gModel == QLatin1String("KVL7100")) {
            // The command refuses this model off the PCI bus, before the window opens.
            d.main->MenuDispatch(QStringLiteral("mnuSetupFirmware"));
            EXPECT_EQ(d.rig.boxes.last().prompt,
                      QStringLiteral("Please select PCI communication interface for downloading KVL7100 firmware."));
            EXPECT_EQ(Form::loadedForm(QStringLiteral("statusFlash")), nullptr);
            continue;
        }
        statusFlash* window = d.open();
        ASSERT_NE(window, nullptr) << c.model;
        EXPECT_EQ(window->cmdLoadFirmware()->text(), QString::fromLatin1(c.caption)) << c.model;
        EXPECT_EQ(window->cmdLoadFpga()->isVisible(), c.fpga) << c.model;
        Form::Unload(window);
    }
    EXPECT_EQ(Form::loadedForm(QStringLiteral("statusFlash")), nullptr);
    gModel = QStringLiteral("KVL410");
    statusFlash* window = d.open();
    EXPECT_EQ(window->cmdLoadFirmware()->toolTip(),
              QStringLiteral("Download the firmware (.fwr) file to the KVL controller"));

    // A model without a download command, a model without FPGA, and demo mode are refused before
    // a file is asked for; nothing is sent and the buttons stay as they were.
    d.rig.boxes.clear();
    window->cmdLoadFirmware()->click();
    gModel = QStringLiteral("KVL-Quill");
    window->cmdLoadFpga()->setVisible(true);
    window->cmdLoadFpga()->click();
    d.comm()->setBusType(BUS_TYPE_NONE);
    gModel = QStringLiteral("KVL400");
    window->cmdLoadFirmware()->click();
    EXPECT_EQ(d.prompts(), (QStringList{"Firmware download is not supported for the KVL410 controller. Nothing was sent.",
                                        "KVL-Quill Doesn't require FPGA Firmware",
                                        "Firmware cannot be downloaded in demo mode. Select a bus with the controller "
                                        "connected and try again."}));
    EXPECT_TRUE(d.dialogs.isEmpty());
    EXPECT_TRUE(d.lines().isEmpty());
    EXPECT_TRUE(window->cmdLoadFirmware()->isEnabled());
    EXPECT_TRUE(window->cmdLoadFpga()->isEnabled());
}

// A close of the main window asked while a download runs waits until the download is over, and
// then happens the ordinary way; the download's window itself does not close meanwhile.
TEST(statusFlashTest, ACloseAskedDuringADownloadWaitsForItsEnd)
{
    FlashDesk d(BUS_TYPE_GPIB);
    gModel = QStringLiteral("KVL400");
    QPointer<Form> jog = CommandDispatcher::window(QStringLiteral("frmJog"));
    ASSERT_TRUE(jog);
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    d.chosen << d.image("new.fwr", kFirmware);
    int secondStarts = 0;
    bool buttonsOff = false;
    bool mainVisibleAfterClose = false;
    bool jogOff = false;
    QObject::connect(&d.sim(), &SimController::lineReceived, window, [&](const QByteArray& line) {
        if (line != "$KVL firmware")
            return;
        buttonsOff = !window->cmdLoadFirmware()->isEnabled() && !window->cmdLoadFpga()->isEnabled();
        jogOff = !jog->isEnabled() && window->isEnabled();
        window->frame()->close();
        d.main->close();
        mainVisibleAfterClose = d.main->isVisible();
        const int before = d.dialogs.size();
        QMetaObject::invokeMethod(window, "cmdLoadFirmware_Click");
        QMetaObject::invokeMethod(window, "cmdLoadFpga_Click");
        secondStarts = d.dialogs.size() - before;
    });
    window->cmdLoadFirmware()->click();

    EXPECT_TRUE(buttonsOff);
    EXPECT_TRUE(mainVisibleAfterClose);
    // No window that can move takes input while the download owns the link, and after it the
    // window is as it was.
    EXPECT_TRUE(jogOff);
    ASSERT_TRUE(jog);
    EXPECT_TRUE(jog->isEnabled());
    EXPECT_EQ(secondStarts, 0);
    // The command, every line once, and the confirming query: the download ran to its end.
    EXPECT_EQ(d.lines().size(), 7);
    EXPECT_EQ(d.lines().last(), QStringLiteral("VE?"));
    // A program on its way out asks no reset question and starts no reset.
    EXPECT_FALSE(d.asked(QStringLiteral("Download complete")));
    EXPECT_FALSE(d.lines().contains(QStringLiteral("RS")));
    EXPECT_EQ(Form::loadedForm(QStringLiteral("statusFlash")), nullptr);
    // Put-off work runs when the event loop waits, as it does on the real clock.
    Clock::useRealClock();
    EXPECT_TRUE(Clock::pumpUntil([&] { return !d.main->isVisible(); }, 2000));
    EXPECT_EQ(d.rig.stored("KVLComm", "BusType"), QString::number(BUS_TYPE_GPIB));
    gAppClosing = false;
}

// The session ending (Ctrl+C, SIGTERM) during a download is kept: the download finishes, and the
// program then closes the ordinary way, saving the link.
TEST(statusFlashTest, TheSessionEndingDuringADownloadClosesTheProgramAfterIt)
{
    FlashDesk d(BUS_TYPE_GPIB);
    struct Restore {
        ~Restore() { platform::setMsgBoxesDismissed(false); }
    } restore;
    gModel = QStringLiteral("KVL200");
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    d.chosen << d.image("new.fwr", kFirmware);
    d.resetAnswer = platform::vbYes;
    QObject::connect(&d.sim(), &SimController::lineReceived, window, [&](const QByteArray& line) {
        if (line == "$KVL firmware")
            SessionEnd::end();
    });
    window->cmdLoadFirmware()->click();

    const QStringList lines = d.lines();
    EXPECT_EQ(lines.value(0), QStringLiteral("Download 200"));
    EXPECT_EQ(lines.value(5), QStringLiteral("\x03"));
    EXPECT_EQ(lines.value(6), QStringLiteral("VE?"));
    EXPECT_EQ(lines.size(), 7) << "no reset on the way out";
    EXPECT_TRUE(d.main->isVisible());
    Clock::useRealClock();
    EXPECT_TRUE(Clock::pumpUntil([&] { return !d.main->isVisible(); }, 2000));
    EXPECT_TRUE(gAppClosing);
    EXPECT_EQ(d.rig.stored("KVLComm", "BusType"), QString::number(BUS_TYPE_GPIB));
    EXPECT_EQ(d.rig.stored("KVLComm", "DeviceID"), QStringLiteral("5"));
    gAppClosing = false;
}

TEST(statusFlashTest, OpeningStepsRunOnEveryOpening)
{
    FlashDesk d(BUS_TYPE_GPIB);
    gModel = QStringLiteral("KVL400");
    Form* cycle = Form::instance<frmCycle>();
    cycle->Show();
    Form* errors = Form::instance<frmErrors>();
    errors->Show();

    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmCycle")), nullptr);
    EXPECT_FALSE(errors->Visible());

    // The FPGA download ends with the window hidden, the menus and the tick back.
    d.chosen << d.image("new.hex", ":10000000AA\r\n:00000001FF\r\n");
    window->cmdLoadFpga()->click();
    EXPECT_EQ(d.lines(), (QStringList{"Download 420", ":10000000AA", ":00000001FF", "VE?"}));
    EXPECT_TRUE(d.asked(QStringLiteral("Download complete")));
    EXPECT_FALSE(window->Visible());
    EXPECT_TRUE(d.menusEnabled());
    EXPECT_TRUE(d.comm()->TimerEnabled());

    // Opened again, the same window takes its opening steps again.
    errors->Show();
    EXPECT_EQ(d.open(), window);
    EXPECT_TRUE(window->Visible());
    EXPECT_FALSE(errors->Visible());
    EXPECT_FALSE(d.menusEnabled());
    EXPECT_FALSE(d.comm()->TimerEnabled());
}

TEST(statusFlashTest, PciBoardFlashCallsInOrder)
{
    FlashDesk d(BUS_TYPE_PCI);
    gModel = QStringLiteral("KVL7100");
    platform::drivers::resetPciFlash();
    // 6000 words of three characters each: more than the estimate of a third of the length.
    QByteArray words("\x02\r\n$KVL,");
    for (int i = 0; i < 6000; ++i)
        words += "1,";
    const QString path = d.image("board.fwr", words);
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->cmdLoadFpga()->isVisible());
    d.chosen << path;
    QPointer<statusFlash> alive(window);
    window->cmdLoadFirmware()->click();

    QStringList expected{"kvl_open_flash_file", "ReadFirstChar", "ReadFirstChar", "ReadFirstChar", "ReadFirstChar",
                         "kvl_read_to_comma",   "kvl_start_talker", "kvl_flash_strobe(0)", "kvl_flash_erase"};
    for (int i = 0; i < 6001; ++i)
        expected << "kvl_write_flash_word";
    expected << "kvl_flash_strobe(1)" << "kvl_close_flash_file";
    EXPECT_EQ(platform::drivers::pciFlashCalls(), expected);
    EXPECT_EQ(platform::drivers::pciFlashWords().size(), 6000);
    ASSERT_TRUE(alive);
    EXPECT_EQ(window->progFlash()->value(), 6000);
    EXPECT_GE(window->progFlash()->maximum(), 6000);
    EXPECT_FALSE(QFile::exists(d.rig.folder() + QStringLiteral("/cache/tmp.xxx")));
    EXPECT_FALSE(d.asked(QStringLiteral("Download complete")));
    EXPECT_EQ(Form::loadedForm(QStringLiteral("statusFlash")), nullptr);
    // The board is initialised anew.
    EXPECT_TRUE(d.lines().contains(QStringLiteral("VE?")));
}

TEST(statusFlashTest, PciStopsAtAFailingWordAndAtABadHeader)
{
    FlashDesk d(BUS_TYPE_PCI);
    gModel = QStringLiteral("KVL7100");
    platform::drivers::resetPciFlash();
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);

    // A bad header writes nothing; the window stays open with the menus enabled.
    d.chosen << d.image("bad.fwr", "\x02\r\n#,1,2");
    window->cmdLoadFirmware()->click();
    EXPECT_EQ(platform::drivers::pciFlashCalls(),
              (QStringList{"kvl_open_flash_file", "ReadFirstChar", "ReadFirstChar", "ReadFirstChar", "ReadFirstChar",
                           "kvl_close_flash_file"}));
    EXPECT_EQ(d.prompts(), QStringList{kBadHeader});
    EXPECT_TRUE(window->Visible());
    EXPECT_TRUE(d.menusEnabled());

    // The third word is no word: the download stops there and says so.
    platform::drivers::resetPciFlash();
    d.rig.boxes.clear();
    d.sim().clearLog();
    d.chosen << d.image("broken.fwr", "\x02\r\n$KVL,0001,0002,ZZZZ,0004");
    window->cmdLoadFirmware()->click();
    const QStringList calls = platform::drivers::pciFlashCalls();
    EXPECT_EQ(calls.count(QStringLiteral("kvl_write_flash_word")), 3);
    EXPECT_FALSE(calls.contains(QStringLiteral("kvl_flash_strobe(1)")));
    EXPECT_EQ(calls.last(), QStringLiteral("kvl_close_flash_file"));
    EXPECT_EQ(platform::drivers::pciFlashWords(), (QList<quint16>{1, 2}));
    ASSERT_EQ(d.rig.boxes.size(), 1);
    EXPECT_TRUE(d.rig.boxes[0].prompt.contains(QStringLiteral("refused firmware word 3 (status 1)")));
    EXPECT_TRUE(d.rig.boxes[0].prompt.contains(kIncomplete));
    EXPECT_TRUE(d.lines().isEmpty()); // no reset
    EXPECT_EQ(Form::loadedForm(QStringLiteral("statusFlash")), nullptr);
}

TEST(statusFlashTest, DspThenCpuImageOverGpib)
{
    FlashDesk d(BUS_TYPE_GPIB);
    gModel = QStringLiteral("KVL8100");
    QByteArray cpu;
    for (int i = 0; i < 185; ++i)
        cpu += char(i);
    d.chosen << d.image("dsp.fwr", kFirmware) << d.image("cpu.exe", cpu);
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    d.rig.boxes.clear();
    d.device.writes.clear();
    d.resetAnswer = platform::vbNo;
    window->cmdLoadFirmware()->click();

    ASSERT_EQ(d.dialogs.size(), 2);
    EXPECT_EQ(d.dialogs[0].title, QStringLiteral("KVL8100 DSP Firmware"));
    EXPECT_EQ(d.dialogs[1].title, QStringLiteral("KVL8100 CPU Firmware"));
    EXPECT_EQ(d.dialogs[1].filter, QStringLiteral("(*.exe) | *.exe"));
    EXPECT_TRUE(d.dialogs[0].dir.endsWith(QStringLiteral("Controllers/KVL8100/fwr")));
    ASSERT_EQ(d.rig.boxes.size(), 3);
    EXPECT_EQ(d.rig.boxes[0].title, QStringLiteral("KVL8100"));
    EXPECT_TRUE(d.rig.boxes[0].prompt.startsWith(QStringLiteral("Because the KVL8100 has both a DSP and a CPU Firmware,\r\n")));
    EXPECT_EQ(d.rig.boxes[1].prompt, QStringLiteral("Now select the CPU firmware file"));
    EXPECT_EQ(d.rig.boxes[2].prompt, kComplete);

    const QStringList lines = d.lines();
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(lines[0], QStringLiteral("Download 8100"));
    EXPECT_EQ(lines[6], QStringLiteral("Download 8386"));
    EXPECT_EQ(lines[7], QStringLiteral("185"));
    // The controller confirms it took the image by answering afterwards.
    EXPECT_EQ(lines[8], QStringLiteral("VE?"));
    EXPECT_EQ(d.sim().downloadData(), cpu);
    // The raw image in pieces of 184 bytes and the rest, after the size line.
    ASSERT_GE(d.device.writes.size(), 3);
    EXPECT_EQ(d.device.writes.mid(d.device.writes.size() - 3, 2), (QList<int>{184, 1}));
    EXPECT_EQ(window->progFlash()->value(), 100);
    // No: the window stays open with its firmware button off until it is closed.
    EXPECT_TRUE(window->Visible());
    EXPECT_FALSE(window->cmdLoadFirmware()->isEnabled());
    Form::Unload(window, Form::vbFormControlMenu);
    EXPECT_TRUE(d.menusEnabled());
}

TEST(statusFlashTest, ImagesWithNulBytesAreRefusedOnPciBeforeAnythingIsSent)
{
    // The board's send takes C strings: every piece of a CPU image would go out cut at its first
    // NUL while each send reported success.
    FlashDesk d(BUS_TYPE_PCI);
    gModel = QStringLiteral("KVL8100");
    QByteArray dsp = kFirmware;
    dsp.replace('\0', ' ');
    const QByteArray cpu("MZ\x90\x00\x03\x00", 6);
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    d.chosen << d.image("dsp.fwr", dsp) << d.image("cpu.exe", cpu) << d.image("nul.fwr", kFirmware)
             << d.image("cpu.exe", cpu);
    for (const char* refused : {"cpu.exe", "nul.fwr"}) {
        d.rig.boxes.clear();
        window->cmdLoadFirmware()->click();
        EXPECT_TRUE(d.lines().isEmpty()) << refused;
        ASSERT_FALSE(d.prompts().isEmpty());
        EXPECT_TRUE(d.prompts().last().endsWith(QStringLiteral("%1 holds NUL bytes, which the PCI bus cannot carry."
                                                               "\r\nNothing was sent to the controller.")
                                                    .arg(QString::fromLatin1(refused))))
            << d.prompts().last().toStdString();
        EXPECT_FALSE(d.asked(QStringLiteral("Download complete")));
        EXPECT_TRUE(window->cmdLoadFirmware()->isEnabled());
    }

    // An FPGA image goes through the same check.
    Form::Unload(window, Form::vbFormControlMenu);
    gModel = QStringLiteral("KVL400");
    window = d.open();
    ASSERT_NE(window, nullptr);
    d.rig.boxes.clear();
    d.chosen << d.image("nul.hex", QByteArray(":10\0\0\r\n", 7));
    window->cmdLoadFpga()->click();
    EXPECT_TRUE(d.lines().isEmpty());
    ASSERT_FALSE(d.prompts().isEmpty());
    EXPECT_TRUE(d.prompts().last().endsWith(QStringLiteral("nul.hex holds NUL bytes, which the PCI bus cannot carry."
                                                           "\r\nNothing was sent to the controller.")))
        << d.prompts().last().toStdString();
}

TEST(statusFlashTest, CpuStageWaitsForItsOwnReady)
{
    FlashDesk d(BUS_TYPE_GPIB);
    gModel = QStringLiteral("KVL8100");
    // The DSP stage's last reply holds "Ready"; the CPU command gets no answer at all.
    d.sim().setDownloadReplies("Ready", "Done - Ready");
    d.sim().setReply("Download 8386", "");
    d.chosen << d.image("dsp.fwr", kFirmware) << d.image("cpu.exe", QByteArray(9, 'x'));
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    window->cmdLoadFirmware()->click();

    EXPECT_EQ(d.lines().last(), QStringLiteral("Download 8386"));
    EXPECT_TRUE(d.asked(QStringLiteral("did not answer \"Ready\" within 60 seconds")));
    EXPECT_TRUE(d.asked(kIncomplete));
    EXPECT_FALSE(d.asked(QStringLiteral("Download complete")));
}

TEST(statusFlashTest, CpuImageInEightBytePiecesOverSerial)
{
    FlashDesk d(BUS_TYPE_RS232);
    gModel = QStringLiteral("KVL8100");
    const QByteArray cpu("\x00\x01\x02\x03\x04\x05\x06\x07\xff", 9);
    d.chosen << d.image("dsp.fwr", kFirmware) << d.image("cpu.exe", cpu);
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    window->cmdLoadFirmware()->click();

    // Nothing waits after the last piece: the simulator's thread is given a moment to take it.
    QByteArray data;
    QList<QByteArray> lines;
    for (int tries = 0; tries < 200 && data.size() < cpu.size(); ++tries) {
        QThread::msleep(5);
        d.rig.withSim([&](SimController& sim) {
            data = sim.downloadData();
            lines = sim.lines();
        });
    }
    EXPECT_EQ(data, cpu);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.mid(lines.size() - 3), (QList<QByteArray>{"Download 8386", "9", "VE?"}));
    EXPECT_EQ(window->progFlash()->value(), 100);
    EXPECT_TRUE(d.asked(QStringLiteral("Download complete")));
}

// A line slower than the program writes: the image outgrows what the serial device buffers, and
// each line waits for room instead of failing as a pulled cable. Every byte arrives, in order.
TEST(statusFlashTest, ImageLargerThanTheDeviceBufferGoesWholeOverAPacedLine)
{
    FlashDesk d(BUS_TYPE_RS232);
    gModel = QStringLiteral("KVL400");
    QByteArray image("\x02\r\n$KVL firmware\r\n");
    QByteArray expected("\x02\r$KVL firmware\r");
    for (int i = 0; i < 800; ++i) {
        const QByteArray line = "S1 " + QByteArray::number(i).rightJustified(5, '0') + QByteArray(30, 'A' + i % 26);
        image += line + "\r\n";
        expected += line + '\r';
    }
    image += "\x03\r\n";
    expected += '\x03';
    d.chosen << d.image("big.fwr", image);
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    d.rig.setSimBaud(115200);
    window->cmdLoadFirmware()->click();

    QByteArray data;
    d.rig.withSim([&](SimController& sim) { data = sim.downloadData(); });
    EXPECT_EQ(data, expected);
    EXPECT_TRUE(d.asked(QStringLiteral("Download complete"))) << d.prompts().join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(d.asked(kIncomplete));
}

// A CPU image cut part way by a pulled cable (every write still reports success) is no complete
// download: the controller does not answer afterwards, and the flash must be written again.
TEST(statusFlashTest, CpuImageCutOffWithoutAWriteErrorIsNoCompleteDownload)
{
    FlashDesk d(BUS_TYPE_GPIB);
    gModel = QStringLiteral("KVL8100");
    const QByteArray cpu(100 * 1024 + 500, 'c');
    d.chosen << d.image("dsp.fwr", kFirmware) << d.image("cpu.exe", cpu);
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    // The command, five lines and ETX of the DSP stage, the CPU command, its size line and 100 KB.
    d.device.writes.clear();
    d.device.cutAfter(6 + 2 + 100 * 1024 / statusFlash::CpuPieceGpib);
    window->cmdLoadFirmware()->click();

    EXPECT_TRUE(d.device.isCut());
    EXPECT_LT(d.sim().downloadData().size(), cpu.size());
    EXPECT_FALSE(d.asked(QStringLiteral("Download complete")));
    EXPECT_TRUE(d.asked(QStringLiteral("The image was sent, but nothing confirms that it arrived. The controller did "
                                       "not answer \"VE?\" afterwards.")));
    EXPECT_TRUE(d.asked(kIncomplete));
    // The window stays open as it stood, its firmware button off, until it is closed.
    EXPECT_TRUE(window->Visible());
    Form::Unload(window, Form::vbFormControlMenu);
    EXPECT_TRUE(d.menusEnabled());
}

// A FIFO nobody writes to, a device that never ends and a folder are refused at once as images.
TEST(statusFlashTest, OnlyRegularFilesAreTakenAsImages)
{
    FlashDesk d(BUS_TYPE_GPIB);
    gModel = QStringLiteral("KVL400");
    const QString pipe = d.rig.folder() + QStringLiteral("/pipe.fwr");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    const QStringList images{pipe, QStringLiteral("/dev/zero"), d.rig.folder()};
    for (const QString& image : images) {
        d.rig.boxes.clear();
        d.chosen << image;
        const qint64 start = Clock::tickMs();
        window->cmdLoadFirmware()->click();
        EXPECT_LT(Clock::tickMs() - start, 2000) << image.toStdString();
        ASSERT_EQ(d.rig.boxes.size(), 1) << image.toStdString();
        EXPECT_EQ(d.rig.boxes[0].prompt, QStringLiteral("The file ") + QDir::toNativeSeparators(image)
                                             + QStringLiteral(" could not be opened: It is not a regular file: a "
                                                              "folder, a device or a pipe cannot be read as one.\r\n"
                                                              "Nothing was sent to the controller."));
        EXPECT_TRUE(window->Visible());
    }
    EXPECT_TRUE(d.lines().isEmpty());
}

// On the pseudo-terminal: the controller falls silent once the CPU image's size line has come, so
// the whole image goes out and nothing answers it. That is no complete download.
TEST(statusFlashTest, ControllerSilentAfterTheCpuImageOnSerialIsNoCompleteDownload)
{
    FlashDesk d(BUS_TYPE_RS232);
    gModel = QStringLiteral("KVL8100");
    d.chosen << d.image("dsp.fwr", kFirmware) << d.image("cpu.exe", QByteArray(40, 'c'));
    d.rig.withSim([](SimController& sim) {
        QObject::connect(&sim, &SimController::lineReceived, &sim, [&sim](const QByteArray& line) {
            if (line == "40")
                sim.setSilent(true);
        });
    });
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    window->cmdLoadFirmware()->click();

    EXPECT_FALSE(d.asked(QStringLiteral("Download complete")));
    EXPECT_TRUE(d.asked(QStringLiteral("The controller did not answer \"VE?\" afterwards.")));
    EXPECT_TRUE(d.asked(kIncomplete));
    Form::Unload(window, Form::vbFormControlMenu);
}

// At line speed the download never holds the program: no line is written before the port can
// take it and no read waits on the line, on a paced line and on a fast one, with the controller
// answering and with it gone silent after the image (which still ends at its limit, with its
// message). The program clock keeps pace with the line here.
TEST(statusFlashTest, SerialDownloadAtLineSpeedLetsEventsRunThroughout)
{
    FlashDesk d(BUS_TYPE_RS232);
    gModel = QStringLiteral("KVL400");
    QByteArray image("\x02\r\n$KVL400 firmware\r\n");
    QByteArray sent("\x02\r$KVL400 firmware\r");
    for (int i = 0; i < 120; ++i) {
        const QByteArray record = "S214" + QByteArray::number(0x140000 + i * 16, 16).toUpper() + QByteArray(34, 'A');
        image += record + "\r\n";
        sent += record + "\r";
    }
    image += "\x03\r\n";
    sent += "\x03";
    const QString path = d.image("big.fwr", image);

    for (const int baud : {19200, 0}) {
        SCOPED_TRACE(baud);
        Clock::useManualClock(Clock::tickMs(), 10);
        d.rig.setSimBaud(baud);
        d.rig.boxes.clear();
        statusFlash* window = d.open();
        ASSERT_NE(window, nullptr);
        d.chosen << path;
        EventGaps gaps;
        gaps.start();
        window->cmdLoadFirmware()->click();
        gaps.stop();
        EXPECT_LT(gaps.longest(), 500);
        EXPECT_EQ(d.prompts(), QStringList{kComplete});
        QByteArray data;
        d.rig.withSim([&](SimController& sim) { data = sim.downloadData(); });
        EXPECT_EQ(data, sent);
    }

    // Silent once the image is in: the wait for "Done" ends at its limit, events running.
    Clock::useManualClock(Clock::tickMs(), 1);
    d.rig.withSim([](SimController& sim) {
        sim.clearLog();
        QObject::connect(&sim, &SimController::lineReceived, &sim, [&sim](const QByteArray& line) {
            if (line.contains('\x03'))
                sim.setSilent(true);
        });
    });
    d.rig.boxes.clear();
    statusFlash* window = d.open();
    ASSERT_NE(window, nullptr);
    d.chosen << path;
    EventGaps gaps;
    gaps.start();
    const qint64 start = Clock::tickMs();
    window->cmdLoadFirmware()->click();
    gaps.stop();
    EXPECT_GE(Clock::tickMs() - start, statusFlash::DoneLimitMs);
    EXPECT_LT(gaps.longest(), 500);
    EXPECT_TRUE(d.asked(QStringLiteral("did not answer \"Done\" within 60 seconds")));
    EXPECT_TRUE(d.asked(kIncomplete));
    EXPECT_FALSE(d.asked(QStringLiteral("Download complete")));
    EXPECT_EQ(d.rig.simLines().value(0), QStringLiteral("Download 400"));
    EXPECT_EQ(d.rig.simLines().size(), 1 + 2 + 120 + 1);
}
