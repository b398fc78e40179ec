#include "tests/support/EventGaps.h"
#include "tests/support/FaultyDevice.h"
#include "tests/support/ResetAnswer.h"
#include "tests/support/ShellRig.h"

#include "library/link/BusType.h"
#include "library/link/KVLComm.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "utility/files/ParameterFiles.h"
#include "utility/files/frmProgress.h"
#include "utility/shell/Application.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/Form.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QTimer>

#include <QScopeGuard>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace KvlXGlobal;
using platform::Clock;

namespace {

const QString kRestoreTitle = QStringLiteral("Tansmit Configuration");
const QString kSaveTitle = QStringLiteral("Save To File");
const QString kConvertTitle = QStringLiteral("Convert To ASCII File Format");
const QString kTextFilter = QStringLiteral("Text Files (*.TXT)|*.txt|All Files (*.*)|*.*");

struct Dialog {
    bool save = false;
    QString title;
    QString dir;
    QString filter;
};

// The main window on the simulated controller (behind the in-process USB bus, or on a
// pseudo-terminal as the serial port), the parameter-file commands plugged in as the program's
// start plugs them, and the file dialogs answered from a list (an empty answer cancels).
struct Files {
    enum Bus { Usb, Serial, Pci };

    explicit Files(Bus bus = Usb)
        : serial(bus == Serial)
    {
        if (serial) {
            rig.useSerialLink();
        } else {
            if (bus == Pci)
                device.installOnPci(0);
            else
                device.installOnUsb(0);
            rig.store("KVLComm", "BusType", bus == Pci ? "1" : "4");
            rig.store("KVLComm", "DeviceID", "0");
            rig.store("frmMain", "FirstTime", "0");
        }
        rig.answer = ResetAnswer::no();
        main = rig.start();
        rig.comm()->setTimerEnabled(false);
        withSim([](SimController& sim) { sim.clearLog(); });
        rig.boxes.clear();
        InstallParameterFileHandlers();
        platform::setFileDialogHandler([this](bool save, const QString& title, const QString& dir,
                                              const QString& filter) {
            dialogs.append(Dialog{save, title, dir, filter});
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
    }
    ~Files()
    {
        platform::setFileDialogHandler({});
        for (const char* name : {"RestoreFromFile", "SaveParametersToFile", "ConvertParameterFile"})
            CommandDispatcher::setProcedure(QString::fromLatin1(name), {});
    }

    void withSim(const std::function<void(SimController&)>& f)
    {
        if (serial)
            rig.withSim(f);
        else
            f(device.controller());
    }
    QStringList lines()
    {
        QStringList result;
        withSim([&](SimController& sim) {
            for (const QByteArray& line : sim.lines())
                result << QString::fromLatin1(line);
        });
        return result;
    }
    QString path(const QString& name) const { return rig.folder() + QLatin1Char('/') + name; }
    void write(const QString& name, const QByteArray& bytes)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QByteArray read(const QString& name)
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QStringList prompts() const { return rig.prompts(); }
    void dispatch(const QString& key) { main->MenuDispatch(key); }

    bool serial;
    FaultyDevice device;
    ShellRig rig;
    frmMain* main = nullptr;
    QList<Dialog> dialogs;
    QStringList answers;
};

// Writes the two template files into the program's folder.
void writeTemplates(Files& f, const QByteArray& options, const QByteArray& templ)
{
    f.write(QStringLiteral("TerminalControlOption.txt"), options);
    f.write(QStringLiteral("TerminalSaveTemplate.txt"), templ);
}

// An old-format file: a block of `lines` lines for each axis; position p of axis a holds
// "a.p" unless `cells` gives another value for "a:p".
QByteArray oldFile(int axes, int lines, const QMap<QString, QByteArray>& cells = {})
{
    QByteArray text;
    for (int a = 1; a <= axes; ++a) {
        for (int p = 0; p < lines; ++p) {
            const QString key = QStringLiteral("%1:%2").arg(a).arg(p);
            const QByteArray value = cells.contains(key) ? cells.value(key) : QByteArray::number(a) + "." + QByteArray::number(p);
            text += QByteArray::number(a) + ":" + (p == 0 ? "Axis" : "Key" + QByteArray::number(p)) + "= " + value + " \r\n";
        }
    }
    return text;
}

QMap<QString, QByteArray> numericZCells(int axes)
{
    QMap<QString, QByteArray> cells;
    for (int a = 1; a <= axes; ++a) {
        for (int p = 31; p <= 36; ++p)
            cells.insert(QStringLiteral("%1:%2").arg(a).arg(p), QByteArray::number(p));
    }
    return cells;
}

// Makes writes beyond `bytes` fail in this process (as a full disk does) while it lives. The
// signal the kernel sends then is left to the program's own handling, as the program sets it up:
// should it not ignore the signal, this test program dies.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        Application::ignoreFileSizeSignal();
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
};

// The loaded windows that take input, by name; the restore's progress window aside.
QStringList usableWindows()
{
    QStringList names;
    for (Form* form : Form::Forms()) {
        if (form->isEnabled() && form->Name() != QLatin1String("frmProgress"))
            names << form->Name();
    }
    names.sort();
    return names;
}

// Counts the paint events a window gets while it lives.
class PaintCounter : public QObject {
public:
    PaintCounter(QWidget* window, int& count) : m_count(count) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++m_count;
        return QObject::eventFilter(watched, event);
    }

private:
    int& m_count;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Restore

TEST(ParameterFilesTest, RestoreSendsEveryLineUnchangedWithProgressAndMenusOff)
{
    Files f;
    f.write(QStringLiteral("setup.txt"), QByteArray("1VA10\r\n2AC5\n3AG1\r4DC2"));
    f.answers << f.path(QStringLiteral("setup.txt"));

    QList<int> values;
    QStringList captions;
    QList<bool> menusOn;
    QObject::connect(&f.device.controller(), &SimController::lineReceived, f.main, [&] {
        auto* progress = dynamic_cast<frmProgress*>(Form::loadedForm(QStringLiteral("frmProgress")));
        ASSERT_TRUE(progress);
        if (values.isEmpty()) {
            QObject::connect(progress->ProgressBar1(), &QProgressBar::valueChanged, f.main,
                             [&](int v) { values << v; });
            EXPECT_TRUE(progress->Visible());
            EXPECT_EQ(progress->Label1()->text(), QDir::toNativeSeparators(f.path(QStringLiteral("setup.txt"))));
            EXPECT_EQ(progress->ProgressBar1()->maximum(), 100);
            EXPECT_EQ(progress->ProgressBar1()->value(), 0);
        }
        values << progress->ProgressBar1()->value();
        captions << progress->windowTitle();
        menusOn << f.main->mnuMain(0)->menuAction()->isEnabled();
    });
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));

    // The lines, then the query that confirms they arrived.
    EXPECT_EQ(f.lines(), (QStringList{"1VA10", "2AC5", "3AG1", "4DC2", "VE?"}));
    ASSERT_EQ(f.dialogs.size(), 1);
    EXPECT_FALSE(f.dialogs[0].save);
    EXPECT_EQ(f.dialogs[0].title, QStringLiteral("Send Text File"));
    EXPECT_EQ(f.dialogs[0].filter, kTextFilter);
    EXPECT_EQ(f.dialogs[0].dir, QString());
    EXPECT_EQ(captions.value(0), QStringLiteral("Transmitting Text File"));
    EXPECT_EQ(menusOn, (QList<bool>{false, false, false, false, false}));
    // 17 characters of a 21-byte file: line ends do not count, so the bar stops short of 100.
    ASSERT_FALSE(values.isEmpty());
    EXPECT_EQ(values.last(), 100 * 17 / 21);
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmProgress")), nullptr);
    EXPECT_TRUE(f.main->mnuMain(0)->menuAction()->isEnabled());
    ASSERT_EQ(f.rig.boxes.size(), 1);
    EXPECT_EQ(f.rig.boxes[0].prompt, QStringLiteral("Configuration Restored"));
    EXPECT_EQ(f.rig.boxes[0].style, platform::vbOKOnly);
    EXPECT_EQ(f.rig.boxes[0].title, kRestoreTitle);
}

TEST(ParameterFilesTest, RestoreOnTheSerialLinkSendsAnEmptyLineAsAnEmptyCommand)
{
    Files f(Files::Serial);
    f.write(QStringLiteral("setup.txt"), QByteArray("1VA10\r\n\r\n2AC5\xB5\r\n"));
    f.answers << f.path(QStringLiteral("setup.txt"));
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));

    // The simulator reads the terminal on a thread of its own: give it the time to take the lines.
    QList<QByteArray> raw;
    Clock::pumpUntil([&] {
        f.rig.withSim([&](SimController& sim) { raw = sim.rawLines(); });
        return raw.size() >= 4;
    }, 2000);
    EXPECT_EQ(raw, (QList<QByteArray>{"1VA10\r", "\r", "2AC5\xB5\r", "VE?\r"}));
    EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("Configuration Restored")});
}

// A restore larger than every buffer on the way, over a line at 19200 baud: when the confirming
// "VE?" goes out, seconds of lines still wait for the line. Its read limit starts once the line has
// carried them, so a valid file ends in success.
TEST(ParameterFilesTest, RestoreOverASlowLineIsConfirmedOnceTheLineHasCarriedIt)
{
    Files f(Files::Serial);
    QByteArray file;
    for (int i = 0; i < 600; ++i)
        file += "1VA" + QByteArray::number(i).rightJustified(25, '0') + "\r\n";
    f.write(QStringLiteral("big.txt"), file);
    f.answers << f.path(QStringLiteral("big.txt"));
    f.rig.setSimBaud(19200);
    // The program paints throughout, the wait for the line to carry what was queued included.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer painter;
    QObject::connect(&painter, &QTimer::timeout, &painter, [&] {
        if (sinceTick.isValid())
            longestStall = std::max(longestStall, sinceTick.elapsed());
        sinceTick.start();
    });
    painter.start(20);
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
    painter.stop();
    EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("Configuration Restored")});
    EXPECT_LT(longestStall, 1500);
    QList<QByteArray> raw;
    f.rig.withSim([&](SimController& sim) { raw = sim.rawLines(); });
    EXPECT_EQ(raw.size(), 600 + 1);
    EXPECT_EQ(raw.value(599), QByteArray("1VA0000000000000000000000599\r"));
}

TEST(ParameterFilesTest, RestoreAsksAgainForAMissingFileAndReportsOneThatCannotBeOpened)
{
    Files f;
    const QString missing = f.path(QStringLiteral("missing.txt"));
    f.answers << missing; // then a cancel
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
    EXPECT_EQ(f.dialogs.size(), 2);
    ASSERT_EQ(f.rig.boxes.size(), 1);
    EXPECT_EQ(f.rig.boxes[0].prompt, missing + QStringLiteral(" not found!"));
    EXPECT_EQ(f.rig.boxes[0].style, platform::vbOKOnly + platform::vbExclamation);
    EXPECT_TRUE(f.lines().isEmpty());

    // A file that exists and cannot be read: locked for an ordinary user; for the superuser, a
    // write-only attribute of the kernel's, which it cannot read either.
    f.rig.boxes.clear();
    QString unreadable = f.path(QStringLiteral("locked.txt"));
    f.write(QStringLiteral("locked.txt"), "1VA10\r\n");
    QFile::setPermissions(unreadable, QFileDevice::WriteOwner);
    if (geteuid() == 0)
        unreadable = QStringLiteral("/sys/bus/pci/rescan");
    if (QFile(unreadable).open(QIODevice::ReadOnly))
        GTEST_SKIP() << "no unreadable file here";
    f.answers << unreadable;
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
    ASSERT_EQ(f.rig.boxes.size(), 1);
    EXPECT_TRUE(f.rig.boxes[0].prompt.startsWith(QStringLiteral("The file could not be opened:")));
    EXPECT_FALSE(f.prompts().contains(QStringLiteral("Configuration Restored")));
    EXPECT_TRUE(f.lines().isEmpty());
}

TEST(ParameterFilesTest, RestoreWithoutAControllerRefusesBeforeAskingForAFile)
{
    Files f;
    f.write(QStringLiteral("setup.txt"), "1VA10\r\n");

    f.rig.comm()->setBusType(BUS_TYPE_NONE); // demo mode: a send would go nowhere and answer 0
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
    f.rig.comm()->setBusType(BUS_TYPE_USB);
    f.rig.comm()->KVLClose();
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));

    EXPECT_TRUE(f.dialogs.isEmpty());
    EXPECT_EQ(f.prompts(), (QStringList{
                               "The program is in demo mode: no controller is connected, so nothing was sent.",
                               "The link to the controller is not open, so nothing was sent.",
                           }));
    EXPECT_EQ(f.rig.boxes[0].title, kRestoreTitle);
    EXPECT_TRUE(f.lines().isEmpty());
}

TEST(ParameterFilesTest, RestoreStopsAtTheFirstLineTheLinkDoesNotTake)
{
    Files f;
    f.write(QStringLiteral("setup.txt"), "1VA10\r\n2VA20\r\n3VA30\r\n4VA40\r\n");
    f.answers << f.path(QStringLiteral("setup.txt"));
    f.device.controller().failNext(-1); // the driver refuses the first send
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
    ASSERT_EQ(f.rig.boxes.size(), 1);
    EXPECT_EQ(f.rig.boxes[0].prompt,
              QStringLiteral("Sending stopped at line 1 of\r\n") + QDir::toNativeSeparators(f.path("setup.txt"))
                  + QStringLiteral("\r\nbecause the link to the controller failed. Nothing reached the "
                                   "controller.\r\nThe configuration was not fully restored."));
    EXPECT_EQ(f.rig.boxes[0].style, platform::vbOKOnly + platform::vbExclamation);
    EXPECT_TRUE(f.lines().isEmpty());
    EXPECT_TRUE(f.main->mnuMain(0)->menuAction()->isEnabled());
}

TEST(ParameterFilesTest, RestoreOnPciRefusesALineWithANulAndClaimsNothing)
{
    // The board would send "1VA 25" and drop the rest while reporting success.
    Files f(Files::Pci);
    f.write(QStringLiteral("setup.txt"), QByteArray("2VA20\r\n1VA 25\0 5\r\n", 15));
    f.answers << f.path(QStringLiteral("setup.txt"));
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
    EXPECT_TRUE(f.lines().isEmpty()) << "not even the line before it";
    EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("Line 2 of\r\n") + QDir::toNativeSeparators(f.path("setup.txt"))
                                       + QStringLiteral("\r\nholds the control character \\x00: this is not a text "
                                                        "file of commands.\r\nNothing was sent to the controller.")});
    EXPECT_TRUE(f.main->mnuMain(0)->menuAction()->isEnabled());
}

// A binary file once went out as hundreds of "lines" and was then reported as restored.
TEST(ParameterFilesTest, RestoreRefusesAFileThatIsNotTextOnEveryBusAndTakesLatin1Text)
{
    QRandomGenerator random(410);
    QByteArray noise(64 * 1024, '\0');
    for (char& byte : noise)
        byte = char(random.bounded(256));
    struct Case {
        QByteArray bytes;
        int line;
        QString shown;
    };
    const QList<Case> cases = {
        {QByteArray("1VA10\r\n2VA20\r\n3VA30\t\xB5") + '\0' + noise, 3, QStringLiteral("\\x00")},
        // A lone CR ends a line too; ESC, form feed and DEL are no text either.
        {QByteArray("1VA10\r2VA\x1B[0m\r\n"), 2, QStringLiteral("\\x1b")},
        {QByteArray("1VA10\n\n3VA20\x0C\r\n"), 3, QStringLiteral("\\x0c")},
        {QByteArray("1VA10\r\n2VA20\x7F"), 2, QStringLiteral("\\x7f")},
    };
    for (Files::Bus bus : {Files::Usb, Files::Pci}) {
        Files f(bus);
        for (const Case& c : cases) {
            f.rig.boxes.clear();
            f.write(QStringLiteral("setup.txt"), c.bytes);
            f.answers << f.path(QStringLiteral("setup.txt"));
            f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
            ASSERT_EQ(f.rig.boxes.size(), 1) << c.line;
            EXPECT_EQ(f.rig.boxes[0].prompt,
                      QStringLiteral("Line %1 of\r\n").arg(c.line) + QDir::toNativeSeparators(f.path("setup.txt"))
                          + QStringLiteral("\r\nholds the control character ") + c.shown
                          + QStringLiteral(": this is not a text file of commands.\r\nNothing was sent to the "
                                           "controller."));
            EXPECT_EQ(f.rig.boxes[0].style, platform::vbOKOnly + platform::vbExclamation);
            EXPECT_EQ(f.rig.boxes[0].title, kRestoreTitle);
            EXPECT_EQ(Form::loadedForm(QStringLiteral("frmProgress")), nullptr);
        }
        // Pure noise, as it was met: refused whatever its first line.
        f.rig.boxes.clear();
        f.write(QStringLiteral("noise.bin"), noise);
        f.answers << f.path(QStringLiteral("noise.bin"));
        f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
        ASSERT_EQ(f.prompts().size(), 1);
        EXPECT_TRUE(f.prompts()[0].startsWith(QStringLiteral("Line "))) << f.prompts()[0].toStdString();
        EXPECT_TRUE(f.prompts()[0].endsWith(QStringLiteral("Nothing was sent to the controller.")));
        EXPECT_TRUE(f.lines().isEmpty());
        EXPECT_TRUE(f.main->mnuMain(0)->menuAction()->isEnabled());
    }

    // Tabs and bytes from 128 up (the micro sign, no-break space, 0x80) are text and pass unchanged.
    Files f;
    f.write(QStringLiteral("setup.txt"), QByteArray("1VA10\r\n2AC5\xB5\r\n3DC\t\xA0\x80\xFF\r\n"));
    f.answers << f.path(QStringLiteral("setup.txt"));
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
    EXPECT_EQ(f.lines(), (QStringList{QStringLiteral("1VA10"), QString::fromLatin1("2AC5\xB5"),
                                      QString::fromLatin1("3DC\t\xA0\x80\xFF"), QStringLiteral("VE?")}));
    EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("Configuration Restored")});
}

TEST(ParameterFilesTest, RestoreCutOffOnTheSerialLinkSaysHowFarItGot)
{
    Files f(Files::Serial);
    QByteArray text;
    for (int i = 1; i <= 20; ++i)
        text += "1VA" + QByteArray::number(i) + "\r\n";
    f.write(QStringLiteral("setup.txt"), text);
    f.answers << f.path(QStringLiteral("setup.txt"));
    f.rig.withSim([](SimController& sim) { sim.vanishAfter(3); });
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));

    const QStringList prompts = f.prompts();
    EXPECT_FALSE(prompts.contains(QStringLiteral("Configuration Restored")));
    ASSERT_FALSE(prompts.isEmpty());
    const QString last = prompts.last();
    EXPECT_TRUE(last.startsWith(QStringLiteral("Sending stopped at line "))) << last.toStdString();
    EXPECT_TRUE(last.contains(QStringLiteral(" reached the controller before it."))) << last.toStdString();
    EXPECT_EQ(f.lines().mid(0, 3), (QStringList{"1VA1", "1VA2", "1VA3"}));
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmProgress")), nullptr);
}

// A restore whose lines stop arriving without an error (a pulled cable, or a controller that
// falls silent) is not reported as restored: the query after the last line goes unanswered.
// At line speed the restore never holds the program: no line is written before the port can take
// it, on a paced line and on a fast one, and the confirmation waits for its answer with events
// running, also when every reply is 1.5 s late. The program clock keeps pace with the line here.
TEST(ParameterFilesTest, RestoreAtLineSpeedLetsEventsRunThroughout)
{
    Files f(Files::Serial);
    QByteArray file;
    for (int i = 0; i < 400; ++i)
        file += QByteArray::number(i % 4 + 1) + "VA " + QByteArray::number(i) + ".000000\r\n";
    f.write(QStringLiteral("long.txt"), file);
    Clock::useManualClock(Clock::tickMs(), 10);
    const auto realClock = qScopeGuard([] { Clock::useRealClock(); });
    struct Line {
        int baud;
        int lateEvery;
    };
    for (const Line line : {Line{19200, 0}, Line{0, 0}, Line{0, 1}}) {
        SCOPED_TRACE(line.baud + line.lateEvery);
        f.rig.setSimBaud(line.baud);
        f.rig.setSimLateEvery(line.lateEvery, 1500);
        f.withSim([](SimController& sim) { sim.clearLog(); });
        f.rig.boxes.clear();
        f.answers << f.path(QStringLiteral("long.txt"));
        EventGaps gaps;
        gaps.start();
        f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
        gaps.stop();
        EXPECT_LT(gaps.longest(), 500);
        EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("Configuration Restored")});
        const QStringList lines = f.lines();
        ASSERT_GE(lines.size(), 401);
        EXPECT_EQ(lines.value(399), QStringLiteral("4VA 399.000000"));
        EXPECT_EQ(lines.value(400), QStringLiteral("VE?"));
    }
    f.rig.setSimLateEvery(0, 0);
}

TEST(ParameterFilesTest, RestoreThatTheControllerDoesNotConfirmSaysSo)
{
    QByteArray text;
    for (int i = 1; i <= 60; ++i)
        text += "1VA" + QByteArray::number(i) + "\r\n";
    const QString tail = QStringLiteral("\r\nThe configuration may not have reached the controller; it was not "
                                        "confirmed as restored.");
    {
        Files f;
        f.write(QStringLiteral("setup.txt"), text);
        f.answers << f.path(QStringLiteral("setup.txt"));
        f.device.cutAfter(20);
        f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
        EXPECT_EQ(f.lines().size(), 20);
        EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("All 60 lines of\r\n")
                                           + QDir::toNativeSeparators(f.path("setup.txt"))
                                           + QStringLiteral("\r\nwere sent, but nothing confirms that they arrived. "
                                                            "The controller did not answer \"VE?\" afterwards.")
                                           + tail});
        EXPECT_EQ(Form::loadedForm(QStringLiteral("frmProgress")), nullptr);
        EXPECT_TRUE(f.main->mnuMain(0)->menuAction()->isEnabled());
    }
    {
        // The controller on the pseudo-terminal stops answering a third of the way in.
        Files f(Files::Serial);
        f.write(QStringLiteral("setup.txt"), text);
        f.answers << f.path(QStringLiteral("setup.txt"));
        f.rig.withSim([](SimController& sim) {
            QObject::connect(&sim, &SimController::lineReceived, &sim, [&sim](const QByteArray& line) {
                if (line == "1VA20")
                    sim.setSilent(true);
            });
        });
        f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
        const QStringList prompts = f.prompts();
        EXPECT_FALSE(prompts.contains(QStringLiteral("Configuration Restored")));
        ASSERT_EQ(prompts.size(), 1);
        EXPECT_TRUE(prompts[0].startsWith(QStringLiteral("All 60 lines of"))) << prompts[0].toStdString();
        EXPECT_TRUE(prompts[0].endsWith(tail));
    }
}

// The file is read whole and checked before its first line goes out; what is sent is the file as
// it was opened.
TEST(ParameterFilesTest, RestoreSendsNothingFromAFileItCannotReadWhole)
{
    Files f;
    const QString nothingSent = QStringLiteral("\r\nNothing was sent to the controller.");
    struct Case {
        QString path;
        QString start;
        QString reason;
    };
    f.write(QStringLiteral("empty.txt"), "");
    ASSERT_EQ(::mkfifo(QFile::encodeName(f.path(QStringLiteral("pipe.txt"))).constData(), 0600), 0);
    const QList<Case> cases = {
        {f.path(QStringLiteral("empty.txt")), QStringLiteral("The file\r\n"), QStringLiteral("is empty.")},
        // Nobody writes to the pipe: the restore must not wait for someone to.
        {f.path(QStringLiteral("pipe.txt")), QStringLiteral("The file could not be opened:\r\n"),
         QStringLiteral("It is not a regular file: a folder, a device or a pipe cannot be read as one.")},
        {QStringLiteral("/dev/zero"), QStringLiteral("The file could not be opened:\r\n"),
         QStringLiteral("It is not a regular file: a folder, a device or a pipe cannot be read as one.")},
        // Its length reads 0, and reading it fails.
        {QStringLiteral("/proc/self/mem"), QStringLiteral("The file could not be read:\r\n"),
         QStringLiteral("Input/output error")},
        // Its length reads 0, and it holds text: what was read is not the file that was opened.
        {QStringLiteral("/proc/self/status"), QStringLiteral("The file could not be read:\r\n"),
         QStringLiteral("It changed while it was read: it was 0 bytes long when it was opened")},
    };
    for (const Case& c : cases) {
        f.rig.boxes.clear();
        f.answers << c.path;
        const qint64 start = Clock::tickMs();
        f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
        EXPECT_LT(Clock::tickMs() - start, 2000) << c.path.toStdString();
        ASSERT_EQ(f.rig.boxes.size(), 1) << c.path.toStdString();
        const QString prompt = f.rig.boxes[0].prompt;
        EXPECT_TRUE(prompt.startsWith(c.start + QDir::toNativeSeparators(c.path) + QStringLiteral("\r\n") + c.reason))
            << prompt.toStdString();
        EXPECT_TRUE(prompt.endsWith(nothingSent)) << prompt.toStdString();
        EXPECT_EQ(f.rig.boxes[0].title, kRestoreTitle);
        EXPECT_TRUE(f.lines().isEmpty()) << c.path.toStdString();
        EXPECT_EQ(Form::loadedForm(QStringLiteral("frmProgress")), nullptr);
    }

    // A file cut shorter while it is being sent: the whole file as opened goes out, confirmed.
    QByteArray text;
    for (int i = 1; i <= 30; ++i)
        text += "1VA" + QByteArray::number(i) + "\r\n";
    f.write(QStringLiteral("setup.txt"), text);
    f.rig.boxes.clear();
    f.answers << f.path(QStringLiteral("setup.txt"));
    QObject::connect(&f.device.controller(), &SimController::lineReceived, f.main, [&](const QByteArray& line) {
        if (line == "1VA2")
            QFile::resize(f.path(QStringLiteral("setup.txt")), 20);
    });
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
    EXPECT_EQ(f.lines().size(), 31);
    EXPECT_EQ(f.lines().value(29), QStringLiteral("1VA30"));
    EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("Configuration Restored")});
}

TEST(ParameterFilesTest, WhileARestoreRunsNothingElseStartsAndTheCloseWaits)
{
    Files f;
    f.write(QStringLiteral("setup.txt"), "1VA10\r\n2VA20\r\n");
    f.write(QStringLiteral("other.txt"), "9VA90\r\n");
    f.answers << f.path(QStringLiteral("setup.txt")) << f.path(QStringLiteral("other.txt"));
    bool once = false;
    bool visibleAfterClose = false;
    bool tickingMeanwhile = true;
    f.rig.comm()->setTimerEnabled(true);
    QObject::connect(&f.device.controller(), &SimController::lineReceived, f.main, [&] {
        if (once)
            return;
        once = true;
        tickingMeanwhile = f.rig.comm()->TimerEnabled();
        f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
        f.dispatch(QStringLiteral("mnuFileSaveToFile"));
        f.main->mnuFile(0)->trigger();  // reset, by its item
        f.main->mnuFile(11)->trigger(); // Exit, by its shortcut's action
        f.main->close();
        visibleAfterClose = f.main->isVisible();
    });
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));

    EXPECT_EQ(f.dialogs.size(), 1);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_FALSE(tickingMeanwhile);
    EXPECT_TRUE(f.rig.comm()->TimerEnabled());
    EXPECT_EQ(f.lines(), (QStringList{"1VA10", "2VA20", "VE?"}));
    EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("Configuration Restored")});
    // The close asked meanwhile happens once the restore is over.
    Clock::pumpUntil([&] { return !f.main->isVisible(); }, 2000);
    EXPECT_FALSE(f.main->isVisible());
}

TEST(ParameterFilesTest, NoWindowThatCanMoveTakesInputWhileARestoreOrASaveRuns)
{
    Files f;
    for (const char* key : {"mnuTbarJog", "mnuTbarHome", "mnuTbarCycle", "mnuTbarEnable", "mnuTbarStop"})
        f.dispatch(QString::fromLatin1(key));
    // A window already disabled (by another lock-out) stays so afterwards.
    Form::loadedForm(QStringLiteral("frmEnable"))->setEnabled(false);
    const QStringList before = usableWindows();
    ASSERT_TRUE(before.contains(QStringLiteral("frmJog")));

    QStringList during;
    QObject::connect(&f.device.controller(), &SimController::lineReceived, f.main, [&] {
        if (during.isEmpty())
            during = usableWindows();
    });
    f.write(QStringLiteral("setup.txt"), "1VA10\r\n2VA20\r\n");
    f.answers << f.path(QStringLiteral("setup.txt"));
    f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
    EXPECT_EQ(during, QStringList{"frmStop"});
    EXPECT_EQ(usableWindows(), before);

    writeTemplates(f, "KVL410\t1\r\n", "<xx>VA\r\n");
    f.withSim([](SimController& sim) { sim.clearLog(); });
    during.clear();
    QObject::disconnect(&f.device.controller(), &SimController::lineReceived, f.main, nullptr);
    QObject::connect(&f.device.controller(), &SimController::lineReceived, f.main, [&](const QByteArray& line) {
        if (line.startsWith("1VA"))
            during = usableWindows();
    });
    f.answers << f.path(QStringLiteral("saved.txt"));
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));
    EXPECT_EQ(f.lines(), (QStringList{"VE", "1VA?"}));
    EXPECT_EQ(during, QStringList{"frmStop"});
    EXPECT_EQ(usableWindows(), before);
}

// ---------------------------------------------------------------------------------------------
// Save

// The save lets events run before each of its queries, the hourglass on, the menus and the link's
// tick off and no window but the stop window taking input; a second start is refused and a close
// (a session end closes the same way) waits for it. All of it is undone afterwards.
TEST(ParameterFilesTest, WhileASaveRunsEventsRunNothingElseStartsAndTheCloseWaits)
{
    Files f;
    // The windows open while the link's tick runs, as in the program.
    f.rig.comm()->setTimerEnabled(true);
    for (const char* key : {"mnuTbarJog", "mnuTbarCycle", "mnuTbarStop"})
        f.dispatch(QString::fromLatin1(key));
    Clock::pumpOnce(); // what opening the windows set off
    f.withSim([](SimController& sim) { sim.clearLog(); });
    writeTemplates(f, "KVL410\t4\r\n", "<xx>VA\r\n<xx>AC\r\nZZ\r\n");
    f.answers << f.path(QStringLiteral("saved.txt")) << f.path(QStringLiteral("other.txt"));
    const QStringList before = usableWindows();
    ASSERT_TRUE(before.contains(QStringLiteral("frmJog")));

    struct Seen {
        qsizetype lines;
        bool hourglass;
        bool menusOn;
        bool ticking;
        QStringList usable;
    };
    QList<Seen> seen;
    bool visibleAfterClose = false;
    int paintsDuring = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, f.main, [&] {
        const QCursor* cursor = QApplication::overrideCursor();
        seen << Seen{f.lines().size(), cursor && cursor->shape() == Qt::WaitCursor,
                     f.main->mnuMain(0)->menuAction()->isEnabled(), f.rig.comm()->TimerEnabled(), usableWindows()};
        if (seen.size() == 1) {
            f.main->update();
            f.dispatch(QStringLiteral("mnuFileSaveToFile"));
            f.dispatch(QStringLiteral("mnuFileRestoreFromFile"));
            f.main->close();
            visibleAfterClose = f.main->isVisible();
        }
    });
    PaintCounter painted(f.main, paintsDuring);
    timer.start();
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));
    timer.stop();

    // "VE", then 4 axes of two entries and the one controller-wide entry: events ran before each.
    EXPECT_EQ(f.lines().size(), 10);
    QList<qsizetype> counts;
    for (const Seen& s : std::as_const(seen)) {
        if (!counts.contains(s.lines))
            counts << s.lines;
        EXPECT_TRUE(s.hourglass);
        EXPECT_FALSE(s.menusOn);
        EXPECT_FALSE(s.ticking);
        EXPECT_EQ(s.usable, QStringList{"frmStop"});
    }
    EXPECT_EQ(counts, (QList<qsizetype>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_GT(paintsDuring, 0);
    EXPECT_EQ(f.dialogs.size(), 1);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(f.read(QStringLiteral("saved.txt")).count("\r\n"), 9);
    EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("Setup parameters were saved to file successfully.")});
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(f.main->mnuMain(0)->menuAction()->isEnabled());
    EXPECT_TRUE(f.rig.comm()->TimerEnabled());
    EXPECT_EQ(usableWindows(), before);
    Clock::pumpUntil([&] { return !f.main->isVisible(); }, 2000);
    EXPECT_FALSE(f.main->isVisible());
}

TEST(ParameterFilesTest, SaveWritesPerAxisEntriesForEveryAxisThenTheGlobalOnes)
{
    Files f;
    writeTemplates(f, "KVL200\t1\r\nKVL410\t2\r\nKVL410\t3\r\n", "<xx>VA\r\n\r\nZZ\n<xx>\r\n<xx>AC\rTB\r\n");
    f.withSim([](SimController& sim) {
        sim.setValue(1, "VA", "10.5");
        sim.setValue(2, "VA", "20");
        sim.setValue(1, "AC", "100");
        sim.setValue(2, "AC", "200");
        sim.setReply("ZZ?", "120H\r\n");
        sim.setReply("TB?", "0, 0, NO ERROR\r\n");
    });
    f.write(QStringLiteral("saved.txt"), "old contents\r\n");
    f.answers << f.path(QStringLiteral("saved.txt"));
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));

    EXPECT_EQ(f.lines(), (QStringList{"VE", "1VA?", "1AC?", "2VA?", "2AC?", "ZZ?", "TB?"}));
    EXPECT_EQ(f.read(QStringLiteral("saved.txt")),
              QByteArray("1VA10.5\r\n1AC100\r\n2VA20\r\n2AC200\r\nZZ120H\r\nTB0, 0, NO ERROR\r\n"));
    ASSERT_EQ(f.dialogs.size(), 1);
    EXPECT_TRUE(f.dialogs[0].save);
    EXPECT_EQ(f.dialogs[0].title, QStringLiteral("Save Parameters To File"));
    EXPECT_EQ(f.dialogs[0].filter, QStringLiteral("Text Files (*.TXT) | *.txt"));
    ASSERT_EQ(f.rig.boxes.size(), 1);
    EXPECT_EQ(f.rig.boxes[0].prompt, QStringLiteral("Setup parameters were saved to file successfully."));
    EXPECT_EQ(f.rig.boxes[0].style, platform::vbOKOnly + platform::vbInformation);
    EXPECT_EQ(f.rig.boxes[0].title, kSaveTitle);
    // No temporary file is left beside the target.
    EXPECT_EQ(QDir(f.rig.folder()).entryList({"*saved*"}, QDir::Files), QStringList{"saved.txt"});
}

TEST(ParameterFilesTest, SaveRefusesUnusableOptionAndTemplateFiles)
{
    const QByteArray goodTemplate = "<xx>VA\r\n";
    const QString invalidOption = QStringLiteral("Invalid control option file specified.");
    struct Case {
        QByteArray options;
        QByteArray templ;
        QString prompt;
    };
    QByteArray tooMany;
    for (int i = 0; i < 257; ++i)
        tooMany += "<xx>VA\r\n";
    const QList<Case> cases = {
        {"KVL200\t2\r\n", goodTemplate, invalidOption},    // no line of the model
        {"KVL410 4\r\n", goodTemplate, invalidOption},     // no tab
        {"KVL410\t0\r\n", goodTemplate, invalidOption},    // no axes
        {"KVL410\t13\r\n", goodTemplate, invalidOption},   // more axes than any controller
        {"KVL410\tfour\r\n", goodTemplate, invalidOption}, // no number
        {"KVL410\t2\r\n", "ZZ\r\nTB\r\n<xx>\r\n", QStringLiteral("Invalid save template file specified.")},
        {"KVL410\t2\r\n", tooMany, QStringLiteral("The save template file holds more than 256 entries:")},
    };
    for (const Case& c : cases) {
        Files f;
        writeTemplates(f, c.options, c.templ);
        f.answers << f.path(QStringLiteral("saved.txt"));
        f.dispatch(QStringLiteral("mnuFileSaveToFile"));
        ASSERT_EQ(f.rig.boxes.size(), 1) << c.options.constData();
        EXPECT_TRUE(f.rig.boxes[0].prompt.startsWith(c.prompt)) << f.rig.boxes[0].prompt.toStdString();
        EXPECT_EQ(f.rig.boxes[0].style, platform::vbOKOnly + platform::vbExclamation);
        EXPECT_EQ(f.rig.boxes[0].title, kSaveTitle);
        EXPECT_TRUE(f.dialogs.isEmpty());
        EXPECT_EQ(f.lines(), QStringList{"VE"});
        EXPECT_FALSE(QFile::exists(f.path(QStringLiteral("saved.txt"))));
    }
}

TEST(ParameterFilesTest, SaveAsksForTemplateFilesMissingFromTheProgramFolder)
{
    Files f;
    f.write(QStringLiteral("options.txt"), "KVL410\t1\r\n");
    f.write(QStringLiteral("template.txt"), "<xx>VA\r\n");
    f.answers << f.path(QStringLiteral("nowhere.txt")) << f.path(QStringLiteral("options.txt"))
              << f.path(QStringLiteral("template.txt")) << f.path(QStringLiteral("saved.txt"));
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));

    ASSERT_EQ(f.dialogs.size(), 4);
    EXPECT_EQ(f.dialogs[0].title, QStringLiteral("Select Control Option File"));
    EXPECT_EQ(f.dialogs[0].filter, kTextFilter);
    EXPECT_EQ(f.dialogs[1].title, QStringLiteral("Select Control Option File"));
    EXPECT_EQ(f.dialogs[2].title, QStringLiteral("Select Save Template File"));
    EXPECT_EQ(f.read(QStringLiteral("saved.txt")), QByteArray("1VA0\r\n"));
    EXPECT_EQ(f.prompts(), (QStringList{f.path(QStringLiteral("nowhere.txt")) + QStringLiteral(" not found!"),
                                        QStringLiteral("Setup parameters were saved to file successfully.")}));

    // A cancel ends the command.
    f.rig.boxes.clear();
    f.dialogs.clear();
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));
    EXPECT_EQ(f.dialogs.size(), 1);
    EXPECT_TRUE(f.rig.boxes.isEmpty());
}

TEST(ParameterFilesTest, SaveRefusesAnOptionOrTemplateFileThatIsNoRegularFile)
{
    Files f;
    const QString pipe = f.path(QStringLiteral("pipe.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString reason = QStringLiteral("\r\nIt is not a regular file: a folder, a device or a pipe cannot be "
                                          "read as one.");
    // The option file chosen is a FIFO nobody writes to.
    f.answers << pipe;
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));
    EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("The control option file could not be used.\r\nThe file could "
                                                      "not be opened:\r\n")
                                       + QDir::toNativeSeparators(pipe) + reason});
    // The template chosen is a device.
    f.rig.boxes.clear();
    f.write(QStringLiteral("TerminalControlOption.txt"), "KVL410\t1\r\n");
    f.answers << QStringLiteral("/dev/zero");
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));
    EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("The save template file could not be used.\r\nThe file could "
                                                      "not be opened:\r\n/dev/zero")
                                       + reason});
    EXPECT_EQ(f.lines(), (QStringList{"VE", "VE"}));
}

TEST(ParameterFilesTest, SaveWithoutAControllerOrModelRefusesBeforeAskingForAFile)
{
    Files f;
    writeTemplates(f, "KVL410\t2\r\n", "<xx>VA\r\n");
    f.rig.comm()->setBusType(BUS_TYPE_NONE);
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));
    EXPECT_EQ(f.prompts(), QStringList{"The program is in demo mode: no controller is connected, so no parameters "
                                       "can be saved."});
    f.rig.comm()->setBusType(BUS_TYPE_USB);
    f.rig.comm()->KVLOpen();

    // A controller that does not report its model matches no line, not the first one.
    f.rig.boxes.clear();
    f.withSim([](SimController& sim) { sim.setReply("VE", "\r\n"); });
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));
    EXPECT_EQ(f.prompts(), (QStringList{"Invalid response to command: VE",
                                        "The controller did not report its model, so no entry of the control "
                                        "option file applies. Nothing was saved."}));
    EXPECT_TRUE(f.dialogs.isEmpty());
}

TEST(ParameterFilesTest, SaveStoppedByAnUnusableReplyLeavesTheOldFile)
{
    Files f;
    writeTemplates(f, "KVL410\t2\r\n", "<xx>VA\r\n<xx>AC\r\n");
    f.withSim([](SimController& sim) { sim.setReply("2VA?", "No data\r\n"); });
    const QByteArray old = "1VA5\r\n2VA6\r\n";
    f.write(QStringLiteral("saved.txt"), old);
    f.answers << f.path(QStringLiteral("saved.txt"));
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));

    EXPECT_EQ(f.lines(), (QStringList{"VE", "1VA?", "1AC?", "2VA?"}));
    EXPECT_EQ(f.read(QStringLiteral("saved.txt")), old);
    EXPECT_EQ(f.prompts(), (QStringList{"Invalid response to command: 2VA?",
                                        "The controller gave no usable reply to 2VA?, so the parameters were not "
                                        "saved.\r\n"
                                            + QDir::toNativeSeparators(f.path(QStringLiteral("saved.txt")))
                                            + "\r\nwas left as it was."}));
    EXPECT_EQ(QDir(f.rig.folder()).entryList({"*saved*"}, QDir::Files), QStringList{"saved.txt"});
}

TEST(ParameterFilesTest, SaveOfRepliesThatAreNoValuesLeavesTheOldFile)
{
    // A controller that answers "-" to everything: saved, a restore of the file would set nothing
    // sensible, yet the save said it succeeded.
    for (const QByteArray& bad : {QByteArray("-"), QByteArray("abc"), QByteArray("1e309")}) {
        Files f;
        writeTemplates(f, "KVL410\t2\r\n", "<xx>VA\r\n<xx>SN\r\nZZ\r\n");
        f.withSim([&](SimController& sim) {
            sim.setValue(1, "VA", "5");
            sim.setReply("1SN?", bad + "\r\n");
            sim.setReply("ZZ?", "1A3H\r\n");
        });
        const QByteArray old = "1VA5\r\n";
        f.write(QStringLiteral("saved.txt"), old);
        f.answers << f.path(QStringLiteral("saved.txt"));
        f.dispatch(QStringLiteral("mnuFileSaveToFile"));

        EXPECT_EQ(f.lines(), (QStringList{"VE", "1VA?", "1SN?"})) << bad.constData();
        EXPECT_EQ(f.read(QStringLiteral("saved.txt")), old);
        EXPECT_EQ(f.prompts(), QStringList{QStringLiteral("The controller's reply \"%1\" to 1SN? is no value, so the "
                                                          "parameters were not saved.\r\n")
                                               .arg(QString::fromLatin1(bad))
                                           + QDir::toNativeSeparators(f.path(QStringLiteral("saved.txt")))
                                           + "\r\nwas left as it was."});
    }
}

TEST(ParameterFilesTest, SaveCutOffOnTheSerialLinkLeavesTheOldFile)
{
    Files f(Files::Serial);
    writeTemplates(f, "KVL410\t4\r\n", "<xx>VA\r\n<xx>AC\r\nZZ\r\n");
    f.rig.withSim([](SimController& sim) { sim.vanishAfter(4); });
    const QByteArray old = "1VA5\r\n";
    f.write(QStringLiteral("saved.txt"), old);
    f.answers << f.path(QStringLiteral("saved.txt"));
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));

    EXPECT_EQ(f.read(QStringLiteral("saved.txt")), old);
    EXPECT_FALSE(f.prompts().contains(QStringLiteral("Setup parameters were saved to file successfully.")));
    EXPECT_TRUE(f.prompts().last().startsWith(QStringLiteral("The controller gave no usable reply to ")));
}

TEST(ParameterFilesTest, SaveThatCannotWriteSaysWhyAndLeavesTheOldFile)
{
    Files f;
    writeTemplates(f, "KVL410\t4\r\n", "<xx>VA\r\n<xx>AC\r\n<xx>AG\r\n");
    // A folder that does not exist: nothing can be created there.
    const QString nowhere = f.path(QStringLiteral("no/such/folder/saved.txt"));
    f.answers << nowhere;
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));
    ASSERT_EQ(f.rig.boxes.size(), 1);
    EXPECT_TRUE(f.rig.boxes[0].prompt.startsWith(QStringLiteral("The file could not be created:\r\n")
                                                 + QDir::toNativeSeparators(nowhere) + QStringLiteral("\r\n")));
    EXPECT_EQ(f.lines(), QStringList{"VE"});

    // A disk that fills up while the file is written.
    f.rig.boxes.clear();
    const QByteArray old = "1VA5\r\n";
    f.write(QStringLiteral("saved.txt"), old);
    f.answers << f.path(QStringLiteral("saved.txt"));
    {
        FileSizeLimit full(16);
        f.dispatch(QStringLiteral("mnuFileSaveToFile"));
    }
    EXPECT_EQ(f.read(QStringLiteral("saved.txt")), old);
    ASSERT_EQ(f.rig.boxes.size(), 1);
    EXPECT_TRUE(f.rig.boxes[0].prompt.startsWith(QStringLiteral("The file could not be written:\r\n")))
        << f.rig.boxes[0].prompt.toStdString();
    EXPECT_TRUE(f.rig.boxes[0].prompt.endsWith(QStringLiteral("The parameters were not saved; the file was left as "
                                                              "it was.")));
    EXPECT_EQ(QDir(f.rig.folder()).entryList({"*saved*"}, QDir::Files), QStringList{"saved.txt"});
}

TEST(ParameterFilesTest, SaveIntoAReadOnlyFolderSaysWhy)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not hold for the superuser";
    Files f;
    writeTemplates(f, "KVL410\t1\r\n", "<xx>VA\r\n");
    QDir().mkpath(f.path(QStringLiteral("locked")));
    QFile::setPermissions(f.path(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    f.answers << f.path(QStringLiteral("locked/saved.txt"));
    f.dispatch(QStringLiteral("mnuFileSaveToFile"));
    ASSERT_EQ(f.rig.boxes.size(), 1);
    EXPECT_TRUE(f.rig.boxes[0].prompt.startsWith(QStringLiteral("The file could not be created:")));
}

TEST(ParameterFilesTest, ShippedTemplatesMatchTheModelTable)
{
    const QString folder = QCoreApplication::applicationDirPath();
    QFile table(folder + QStringLiteral("/KVLAxes.ini"));
    QFile options(folder + QStringLiteral("/TerminalControlOption.txt"));
    QFile templ(folder + QStringLiteral("/TerminalSaveTemplate.txt"));
    if (!table.open(QIODevice::ReadOnly) || !options.open(QIODevice::ReadOnly) || !templ.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "the program's data files are not built beside the tests";
    const QString optionText = QString::fromLatin1(options.readAll());
    int models = 0;
    for (const QByteArray& record : table.readAll().split('\n')) {
        const QList<QByteArray> fields = record.trimmed().split(',');
        if (fields.size() < 5)
            continue;
        ++models;
        const QString model = QString::fromLatin1(fields[0]).remove(QLatin1Char('"')).toUpper();
        const QString line = model + QLatin1Char('\t') + QString::fromLatin1(fields[1]);
        // The first line that contains the model word is the one a save takes.
        const int first = int(optionText.indexOf(model));
        ASSERT_GE(first, 0) << model.toStdString();
        EXPECT_EQ(optionText.mid(first, line.size()), line) << model.toStdString();
    }
    EXPECT_GT(models, 0);
    const QList<QByteArray> entries = templ.readAll().trimmed().split('\n');
    EXPECT_LE(entries.size(), 256);
    EXPECT_TRUE(entries.first().startsWith("<xx>"));
}

// ---------------------------------------------------------------------------------------------
// Convert

TEST(ParameterFilesTest, ConvertWritesFortyThreeLinesPerAxisAndTheClosingSave)
{
    Files f;
    gMaxAxes = 2;
    QMap<QString, QByteArray> cells = numericZCells(2);
    cells.insert("1:13", "28");
    cells.insert("2:13", "9");
    cells.insert("1:34", "255");
    cells.insert("2:34", "0");
    cells.insert("2:31", "-1");
    f.write(QStringLiteral("old.txt"), oldFile(2, 44, cells));
    f.answers << f.path(QStringLiteral("old.txt")) << f.path(QStringLiteral("new.txt"));
    f.dispatch(QStringLiteral("mnuFileConvertToASCII"));

    ASSERT_EQ(f.dialogs.size(), 2);
    EXPECT_FALSE(f.dialogs[0].save);
    EXPECT_EQ(f.dialogs[0].title, QStringLiteral("Select Old Parameters File (Source)"));
    EXPECT_EQ(f.dialogs[0].filter, QStringLiteral("(*.txt) | *.txt"));
    EXPECT_EQ(f.dialogs[0].dir, f.rig.folder());
    EXPECT_TRUE(f.dialogs[1].save);
    EXPECT_EQ(f.dialogs[1].title, QStringLiteral("Select New Parameters File (Destination)"));
    EXPECT_EQ(f.dialogs[1].filter, QStringLiteral("(*.txt) | *.txt"));
    EXPECT_EQ(f.dialogs[1].dir, f.rig.folder());

    const QByteArray bytes = f.read(QStringLiteral("new.txt"));
    ASSERT_TRUE(bytes.endsWith(" 2ZS 21H\r\n SM\r\n"));
    const QList<QByteArray> lines = bytes.left(bytes.size() - 1).split('\n');
    ASSERT_EQ(lines.size(), 87);
    for (const QByteArray& line : lines)
        EXPECT_TRUE(line.endsWith('\r')) << line.constData();
    const QByteArray axis1 = bytes.left(bytes.indexOf(" 2QM"));
    EXPECT_TRUE(axis1.startsWith(" 1QM 1.14\r\n 1SN 1.11\r\n 1SU 1.10\r\n 1FR 1.29\r\n 1QS 1.28\r\n 1QV 1.41\r\n"));
    EXPECT_TRUE(axis1.contains("\r\n 1SR 1.15\r\n 1TJ 6\r\n 1OM 1\r\n 1VU 1.0\r\n 1VA 1.4\r\n 1JH 1.1\r\n 1JW 1.1\r\n"));
    EXPECT_TRUE(axis1.contains("\r\n 1FE 1.27\r\n 1DB 0\r\n 1CL 0\r\n 1SS 1\r\n 1GR 1.42\r\n 1SI 1\r\n 1SK 1,0\r\n"));
    EXPECT_TRUE(axis1.endsWith(" 1ZA FFH\r\n 1ZB 23H\r\n 1ZE 24H\r\n 1ZF 1FH\r\n 1ZH 20H\r\n 1ZS 21H\r\n"));
    // A profile number without a code keeps the axis before's code.
    EXPECT_TRUE(bytes.contains("\r\n 2TJ 6\r\n"));
    EXPECT_TRUE(bytes.contains("\r\n 2SS 2\r\n 2GR 2.42\r\n"));
    EXPECT_TRUE(bytes.contains("\r\n 2ZA 0H\r\n 2ZB 23H\r\n 2ZE 24H\r\n 2ZF FFFFFFFFH\r\n"));
    EXPECT_FALSE(bytes.contains("1.8\r") || bytes.contains("1.12\r") || bytes.contains("1.43\r"));
    ASSERT_EQ(f.rig.boxes.size(), 1);
    EXPECT_EQ(f.rig.boxes[0].prompt, QStringLiteral("The old setup file was converted to new file format successfully."));
    EXPECT_EQ(f.rig.boxes[0].style, platform::vbOKOnly + platform::vbInformation);
    EXPECT_EQ(f.rig.boxes[0].title, kConvertTitle);
    EXPECT_TRUE(f.lines().isEmpty());
}

TEST(ParameterFilesTest, ConvertTrajectoryCodes)
{
    Files f;
    gMaxAxes = 3;
    QMap<QString, QByteArray> cells = numericZCells(3);
    cells.insert("1:13", "9");
    cells.insert("2:13", "5");
    cells.insert("3:13", "7");
    f.write(QStringLiteral("old.txt"), oldFile(3, 44, cells));
    ASSERT_TRUE(ParseOldParameterLine(f.path(QStringLiteral("old.txt"))));
    ASSERT_TRUE(WriteAxisCommandFile(f.path(QStringLiteral("new.txt"))));
    const QByteArray bytes = f.read(QStringLiteral("new.txt"));
    EXPECT_TRUE(bytes.contains("\r\n 1TJ 0\r\n"));
    EXPECT_TRUE(bytes.contains("\r\n 2TJ 2\r\n"));
    EXPECT_TRUE(bytes.contains("\r\n 3TJ 4\r\n"));
}

TEST(ParameterFilesTest, ConvertRefusesBadSourcesNamingTheLineAndWritesNothing)
{
    QString error;
    struct Case {
        QByteArray text;
        QString start;
    };
    const QByteArray good = oldFile(2, 44, numericZCells(2));
    QMap<QString, QByteArray> badZCell = numericZCells(2);
    badZCell.insert("2:35", "12abc");
    QMap<QString, QByteArray> outOfRange = numericZCells(2);
    outOfRange.insert("1:34", "2147483648");
    QMap<QString, QByteArray> tooLong = numericZCells(2);
    tooLong.insert("2:35", "-99999999999999999999");
    // Value cells the controller could not take, as fuzzing found them copied into the command file.
    const auto withCell = [](const QString& key, const QByteArray& value) {
        QMap<QString, QByteArray> cells = numericZCells(2);
        cells.insert(key, value);
        return oldFile(2, 44, cells);
    };
    QByteArray longBlock = good;
    longBlock.insert(longBlock.indexOf("2:Axis"), "1:Extra=1\r\n");
    // An axis number followed by NULs read as that axis once; a number is refused wherever its NUL
    // stands, as in a value.
    QByteArray nulAxis = good;
    nulAxis.replace(nulAxis.indexOf("2:Axis"), 2, QByteArray("2\0\0:", 4));
    QByteArray nulAxisInBlock = good;
    nulAxisInBlock.replace(nulAxisInBlock.indexOf("2:Key7="), 2, QByteArray("2\0:", 3));
    const QList<Case> cases = {
        {"Parameters\r\n1:Axis=1\r\n", QStringLiteral("The file selected is not in old format.")},
        {"", QStringLiteral("The file selected is not in old format.")},
        {"1:Axis=1\r\n7:Key=2\r\n", QStringLiteral("Line 2 of ")},
        {"1:Axis=1\r\nx:Key=2\r\n", QStringLiteral("Line 2 of ")},
        {"1:Axis=1\r\n1:Key 2\r\n", QStringLiteral("Line 2 of ")},
        {"1:Axis=1\r\n1 Key=2\r\n", QStringLiteral("Line 2 of ")},
        {longBlock, QStringLiteral("Line 45 of ")},
        {oldFile(2, 44, badZCell), QStringLiteral("The ZB value \"12abc\" of axis 2 (line 80 of ")},
        {oldFile(1, 44, numericZCells(1)), QStringLiteral("The old file holds no ZA value for axis 2 (position 34)")},
        // Blocks shorter than an axis's 44 lines, and a second block of one axis.
        {oldFile(2, 40, numericZCells(2)), QStringLiteral("Line 41 of ")},
        {good.left(good.indexOf("2:Key37")), QStringLiteral("Line 81 of ")},
        {good + oldFile(1, 44, numericZCells(1)), QStringLiteral("Line 89 of ")},
        {oldFile(2, 44, outOfRange), QStringLiteral("The ZA value \"2147483648\" of axis 1 (line 35 of ")},
        {oldFile(2, 44, tooLong), QStringLiteral("The ZB value \"-99999999999999999999\" of axis 2 (line 80 of ")},
        {withCell("1:4", "1e309"), QStringLiteral("The VA value \"1e309\" of axis 1 (line 5 of ")},
        {withCell("2:11", "NaN"), QStringLiteral("The SN value \"NaN\" of axis 2 (line 56 of ")},
        {withCell("1:10", "abc"), QStringLiteral("The SU value \"abc\" of axis 1 (line 11 of ")},
        {withCell("1:4", QByteArray("255\0junk", 8)), QStringLiteral("The VA value \"255\\x00junk\" of axis 1 (line 5 of ")},
        {withCell("1:34", QByteArray("255\0junk", 8)), QStringLiteral("The ZA value \"255\\x00junk\" of axis 1 (line 35 of ")},
        {withCell("2:13", QByteArray("5\0", 2)), QStringLiteral("The TJ value \"5\\x00\" of axis 2 (line 58 of ")},
        {nulAxis, QStringLiteral("Line 45 of ")},
        {nulAxisInBlock, QStringLiteral("Line 52 of ")},
    };
    for (const Case& c : cases) {
        Files f;
        gMaxAxes = 2;
        f.write(QStringLiteral("old.txt"), c.text);
        f.answers << f.path(QStringLiteral("old.txt")) << f.path(QStringLiteral("new.txt"));
        f.dispatch(QStringLiteral("mnuFileConvertToASCII"));
        ASSERT_EQ(f.rig.boxes.size(), 1) << c.start.toStdString();
        EXPECT_TRUE(f.rig.boxes[0].prompt.startsWith(c.start)) << f.rig.boxes[0].prompt.toStdString();
        EXPECT_EQ(f.rig.boxes[0].style, platform::vbOKOnly + platform::vbExclamation);
        EXPECT_EQ(f.rig.boxes[0].title, kConvertTitle);
        EXPECT_EQ(f.dialogs.size(), 1) << "no destination is asked for";
        EXPECT_FALSE(QFile::exists(f.path(QStringLiteral("new.txt"))));
    }
    {
        // The messages say which block and why.
        Files f;
        gMaxAxes = 2;
        f.write(QStringLiteral("old.txt"), oldFile(2, 40, numericZCells(2)));
        EXPECT_FALSE(ParseOldParameterLine(f.path(QStringLiteral("old.txt")), &error));
        EXPECT_TRUE(error.endsWith(QStringLiteral("ends the block of axis 1 (from line 1) after 40 of its 44 lines, so "
                                                  "nothing was converted.")))
            << error.toStdString();
        f.write(QStringLiteral("old.txt"), good + oldFile(1, 44, numericZCells(1)));
        EXPECT_FALSE(ParseOldParameterLine(f.path(QStringLiteral("old.txt")), &error));
        EXPECT_TRUE(error.endsWith(QStringLiteral("starts a second block of axis 1 (the first began at line 1), so "
                                                  "nothing was converted.")))
            << error.toStdString();
        f.write(QStringLiteral("old.txt"), nulAxis);
        EXPECT_FALSE(ParseOldParameterLine(f.path(QStringLiteral("old.txt")), &error));
        EXPECT_TRUE(error.endsWith(QStringLiteral("\"2\\x00\\x00:Axis= 2.0 \"\r\nnames no axis from 1 to 6.")))
            << error.toStdString();
        f.write(QStringLiteral("old.txt"), oldFile(2, 44, outOfRange));
        ASSERT_TRUE(ParseOldParameterLine(f.path(QStringLiteral("old.txt")), &error));
        EXPECT_FALSE(WriteAxisCommandFile(f.path(QStringLiteral("new.txt")), &error));
        EXPECT_TRUE(error.endsWith(QStringLiteral("is out of range (a configuration word holds -2147483648 to "
                                                  "2147483647), so nothing was converted.")))
            << error.toStdString();
    }

    // A source that is no regular file is refused at once: nobody writes to the FIFO.
    {
        Files f;
        gMaxAxes = 2;
        const QString pipe = f.path(QStringLiteral("pipe.txt"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        for (const QString& source : {pipe, QStringLiteral("/dev/zero")}) {
            f.rig.boxes.clear();
            f.dialogs.clear();
            f.answers << source;
            f.dispatch(QStringLiteral("mnuFileConvertToASCII"));
            ASSERT_EQ(f.rig.boxes.size(), 1);
            EXPECT_EQ(f.rig.boxes[0].prompt, QStringLiteral("The file could not be opened:\r\n")
                                                 + QDir::toNativeSeparators(source)
                                                 + QStringLiteral("\r\nIt is not a regular file: a folder, a device "
                                                                  "or a pipe cannot be read as one."));
            EXPECT_EQ(f.dialogs.size(), 1);
        }
    }

    // A controller of no axes, or more than an old file can describe.
    for (const short axes : {short(0), short(7)}) {
        Files f;
        gMaxAxes = axes;
        f.dispatch(QStringLiteral("mnuFileConvertToASCII"));
        ASSERT_EQ(f.rig.boxes.size(), 1);
        EXPECT_EQ(f.rig.boxes[0].prompt, QStringLiteral("Old parameter files hold 1 to 6 axes; the controller has %1, "
                                                        "so nothing was converted.")
                                             .arg(axes));
        EXPECT_TRUE(f.dialogs.isEmpty());
    }
}

TEST(ParameterFilesTest, ConversionAfterAnotherStartsFromNothing)
{
    Files f;
    gMaxAxes = 2;
    f.write(QStringLiteral("first.txt"), oldFile(2, 44, numericZCells(2)));
    f.write(QStringLiteral("second.txt"), oldFile(1, 44, numericZCells(1)));
    ASSERT_TRUE(ParseOldParameterLine(f.path(QStringLiteral("first.txt"))));
    EXPECT_EQ(gOldParams[2][5], QStringLiteral("2.5"));

    QString error;
    ASSERT_TRUE(ParseOldParameterLine(f.path(QStringLiteral("second.txt")), &error));
    EXPECT_EQ(gOldParams[2][5], QString());
    EXPECT_FALSE(WriteAxisCommandFile(f.path(QStringLiteral("new.txt")), &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("The old file holds no ZA value for axis 2")));
    EXPECT_FALSE(QFile::exists(f.path(QStringLiteral("new.txt"))));

    // A file that fails leaves nothing of itself behind either.
    f.write(QStringLiteral("bad.txt"), "1:Axis=5\r\n1:Key=6\r\n9:Key=7\r\n");
    EXPECT_FALSE(ParseOldParameterLine(f.path(QStringLiteral("bad.txt")), &error));
    EXPECT_EQ(gOldParams[1][0], QString());
}

TEST(ParameterFilesTest, ConvertThatCannotWriteSaysWhyAndLeavesTheOldFile)
{
    Files f;
    gMaxAxes = 1;
    f.write(QStringLiteral("old.txt"), oldFile(1, 44, numericZCells(1)));
    f.write(QStringLiteral("new.txt"), "previous\r\n");
    f.answers << f.path(QStringLiteral("old.txt")) << f.path(QStringLiteral("new.txt"));
    {
        FileSizeLimit full(64);
        f.dispatch(QStringLiteral("mnuFileConvertToASCII"));
    }
    EXPECT_EQ(f.read(QStringLiteral("new.txt")), QByteArray("previous\r\n"));
    ASSERT_EQ(f.rig.boxes.size(), 1);
    EXPECT_TRUE(f.rig.boxes[0].prompt.startsWith(QStringLiteral("The file could not be written:\r\n")
                                                 + QDir::toNativeSeparators(f.path(QStringLiteral("new.txt")))));
    EXPECT_EQ(f.rig.boxes[0].title, kConvertTitle);
}
