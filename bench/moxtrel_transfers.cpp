// How the utility paints while a long transfer runs: the main window started the way the program
// starts, every panel window open, against the simulated controller behind a serial port. For
// each transfer, the event loop's stall (how much later than asked a 10 ms timer runs: 99th
// percentile and longest), how long the transfer took and the last message it showed:
//   - a valid 2000-line firmware image, at 19200 baud and on a line that takes bytes as fast as
//     they come, then with every reply 1.5 s late (19200 baud);
//   - a 3000-line parameter restore, at 19200 baud and on a fast line;
//   - a 2000-line firmware image with the controller going silent 3 s into it (19200 baud): the
//     download ends at its limit with its message.
// Goal: no stall over 500 ms while a transfer runs.
#include "bench/BenchDesktop.h"
#include "bench/BenchTiming.h"
#include "library/link/BusType.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimDefaults.h"
#include "sim/SimPty.h"
#include "sim/SimPtyThread.h"
#include "utility/shell/Form.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kPort = 9;

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

// A firmware image: the header, `lines` record lines of the usual length, and the ETX line.
QByteArray firmwareImage(int lines)
{
    QByteArray image("\x02\r\n$KVL400 firmware\r\n");
    for (int i = 0; i < lines; ++i)
        image += "S214" + QByteArray::number(0x140000 + i * 16, 16).toUpper() + QByteArray(34, 'A') + "\r\n";
    return image + "\x03\r\n";
}

QByteArray restoreFile(int lines)
{
    QByteArray file;
    for (int i = 0; i < lines; ++i)
        file += QByteArray::number(i % 4 + 1) + "VA " + QByteArray::number(10 + i % 7) + ".000000\r\n";
    return file;
}

QString g_lastBox;

struct Figures {
    double p99 = 0;
    double longest = 0;
    double seconds = 0;
};

// Runs the transfer that `start` sets off (from the event loop, as a click does) and measures
// the event loop until it has returned.
Figures measure(const std::function<void()>& start)
{
    g_lastBox.clear();
    bool done = false;
    const double began = benchMsNow();
    StallProbe probe;
    probe.start();
    QTimer::singleShot(0, [&] {
        start();
        done = true;
    });
    while (!done)
        runFor(20);
    Figures f;
    f.seconds = (benchMsNow() - began) / 1000.0;
    f.p99 = percentile(probe.stalls(), 0.99);
    f.longest = percentile(probe.stalls(), 1.0);
    return f;
}

void print(const char* what, const Figures& f)
{
    std::printf("%-52s stall p99 %7.1f ms, longest %7.1f ms; %6.1f s; \"%s\"\n", what, f.p99, f.longest, f.seconds,
                qPrintable(g_lastBox.left(70).replace(QLatin1String("\r\n"), QLatin1String(" "))));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    qputenv("KVL_LOCK_DIR", scratch.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    SimPtyThread sim;
    if (!sim.isOpen()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    sim.with([](SimController& c) {
        SimDefaults::apply(c);
        c.setModel("KVL400 Version 2.0");
        c.setLogLimit(1000, 64 * 1024);
    });
    sim.withPty([](SimPty& pty) { pty.setBaud(19200); });
    QStringList open;
    std::unique_ptr<frmMain> main = startBenchDesktop(kPort, sim.slavePath(), scratch, open);
    platform::setMsgBoxHandler([](const QString& prompt, int style, const QString&) {
        g_lastBox = prompt;
        if ((style & 0xF) == 4)
            return int(prompt.contains(QLatin1String("reset")) ? platform::vbNo : platform::vbYes);
        return int(platform::vbOK);
    });
    QString chosen;
    platform::setFileDialogHandler([&chosen](bool, const QString&, const QString&, const QString&) { return chosen; });
    std::printf("model %s, windows open: %s\n", qPrintable(KvlXGlobal::gModel), qPrintable(open.join(QLatin1Char(' '))));
    runFor(1000);

    const QString image = writeFile(scratch, QStringLiteral("image.fwr"), firmwareImage(2000));
    const QString restore = writeFile(scratch, QStringLiteral("restore.txt"), restoreFile(3000));
    auto download = [&] {
        chosen = image;
        main->MenuDispatch(QStringLiteral("mnuSetupFirmware"));
        Form* flash = Form::loadedForm(QStringLiteral("statusFlash"));
        auto* button = flash ? flash->findChild<QAbstractButton*>(QStringLiteral("cmdLoadFirmware")) : nullptr;
        if (button)
            button->click();
        else
            g_lastBox = QStringLiteral("(no firmware window)");
    };
    auto restoreRun = [&] {
        chosen = restore;
        main->MenuDispatch(QStringLiteral("mnuFileRestoreFromFile"));
    };
    auto baud = [&](int rate) { sim.withPty([rate](SimPty& pty) { pty.setBaud(rate); }); };
    double worst = 0;
    auto report = [&](const char* what, const Figures& f) {
        print(what, f);
        worst = std::max(worst, f.longest);
        runFor(1500); // the polls resume and settle
    };
    // A transfer that failed may have left the program in demo mode: the link is opened again
    // before the next one, on a line that answers in time.
    auto relink = [&] {
        if (main->KVLComm1().BusType() == BUS_TYPE_RS232)
            return;
        main->KVLComm1().setBusType(BUS_TYPE_RS232);
        main->KVLComm1().KVLInit();
        runFor(1500);
    };

    baud(19200);
    report("restore, 3000 lines, 19200 baud:", measure(restoreRun));
    baud(0);
    report("restore, 3000 lines, fast line:", measure(restoreRun));
    baud(19200);
    report("firmware, 2000 lines, 19200 baud:", measure(download));
    baud(0);
    report("firmware, 2000 lines, fast line:", measure(download));
    baud(19200);
    sim.withPty([](SimPty& pty) { pty.setLateEvery(1, 1500); });
    report("firmware, 2000 lines, 19200 baud, every reply 1.5 s late:", measure(download));
    sim.withPty([](SimPty& pty) { pty.setLateEvery(0, 0); });
    runFor(3000);
    relink();
    QTimer silence;
    silence.setSingleShot(true);
    QObject::connect(&silence, &QTimer::timeout, [&] { sim.with([](SimController& c) { c.setSilent(true); }); });
    report("firmware, 2000 lines, 19200 baud, silent after 3 s:", measure([&] {
               silence.start(3000);
               download();
           }));
    sim.with([](SimController& c) { c.setSilent(false); });
    std::printf("longest stall of all: %.1f ms (goal: under 500 ms)\n", worst);

    platform::setFileDialogHandler({});
    main->close();
    main.reset();
    return worst < 500 ? 0 : 1;
}
