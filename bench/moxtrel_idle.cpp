// Processor time of the utility left idle: the main window started the way the program starts,
// on the simulated controller behind a serial port, every panel window opened through the
// dispatcher, then nothing touched for a while (30 s unless a number of seconds is given). The
// figure is the main thread's (the utility's own work); the simulator's thread is counted apart.
#include "bench/BenchDesktop.h"
#include "bench/BenchTiming.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimPtyThread.h"
#include "utility/shell/Form.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/SettingsStore.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

constexpr int kPort = 9;

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int linesReceived(SimPtyThread& sim)
{
    int count = 0;
    sim.with([&](SimController& c) { count = int(c.lines().size()); });
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    qputenv("KVL_LOCK_DIR", scratch.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 30;

    SimPtyThread sim;
    if (!sim.isOpen()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    QStringList open;
    std::unique_ptr<frmMain> main = startBenchDesktop(kPort, sim.slavePath(), scratch, open);
    std::printf("model %s, windows open: %s\n", qPrintable(KvlXGlobal::gModel), qPrintable(open.join(QLatin1Char(' '))));

    runFor(2000); // settle
    const int linesBefore = linesReceived(sim);
    const double mainBefore = cpuSeconds(RUSAGE_THREAD);
    const double allBefore = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const double mainCpu = cpuSeconds(RUSAGE_THREAD) - mainBefore;
    const double allCpu = cpuSeconds(RUSAGE_SELF) - allBefore;
    const int lines = linesReceived(sim) - linesBefore;

    std::printf("idle %.1f s: utility (main thread) %.2f s CPU = %.2f %% of one core\n", elapsed, mainCpu,
                100.0 * mainCpu / elapsed);
    std::printf("              whole process with the simulator %.2f s CPU = %.2f %%\n", allCpu,
                100.0 * allCpu / elapsed);
    std::printf("              %d command lines reached the controller (%.0f per second)\n", lines, lines / elapsed);

    main->close();
    main.reset();
    return 0;
}
