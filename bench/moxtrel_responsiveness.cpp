// How the utility feels on a real line: the main window started the way the program starts, every
// panel window open, against the simulated controller paced at a real baud rate (19200 unless a
// rate is given) behind a serial port. Three phases:
//   1. every window in view, left alone (30 s unless a number of seconds is given): how long the
//      event loop stalls, and the share of the line's time the windows' polling takes;
//   2. the display-only windows (positions, motor power) minimised, a third as long: the line share;
//   3. 20 free-run jogs of axis 1: the time from the jog button's release to the stop line "1ST"
//      being complete on the controller's side;
//   4. 20 clicks on the stop window's button on each of five lines (every fifth reply lost, every
//      seventh reply 1.5 s late, every second reply 1.2 s late, every reply 0.7 s or 0.9 s late;
//      late replies hold up the ones after them):
//      the time from the click to "0ST" being complete on the controller's side, and whether the
//      link held;
//   5. a minute with one reply in ten lost: whether the link held; then every reply dribbled, a
//      character every 200 ms: how long until the link was reported broken.
#include "bench/BenchDesktop.h"
#include "bench/BenchTiming.h"
#include "library/link/BusType.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimDefaults.h"
#include "sim/SimPty.h"
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
#include <QLineEdit>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kPort = 9;
constexpr int kReleases = 20;

qint64 lineCharacters(SimPtyThread& sim)
{
    qint64 count = 0;
    sim.withPty([&](SimPty& pty) { count = pty.charactersReceived() + pty.charactersSent(); });
    return count;
}

// Share of the run the line carried a character, either way.
double lineShare(SimPtyThread& sim, int baud, int ms)
{
    const qint64 before = lineCharacters(sim);
    QElapsedTimer wall;
    wall.start();
    runFor(ms);
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    const double busy = double(lineCharacters(sim) - before) * 10.0 / baud;
    return 100.0 * busy / seconds;
}

void postMouse(QWidget* w, QEvent::Type type)
{
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QCoreApplication::postEvent(w, new QMouseEvent(type, at, w->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier));
}

QWidget* child(Form* form, const char* name)
{
    return form ? form->findChild<QWidget*>(QString::fromLatin1(name)) : nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    qputenv("KVL_LOCK_DIR", scratch.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int baud = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 19200;
    const int seconds = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 30;
    if (baud <= 0 || seconds <= 0) {
        std::fprintf(stderr, "usage: moxtrel_responsiveness [baud] [seconds]\n");
        return 2;
    }

    SimPtyThread sim;
    if (!sim.isOpen()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    sim.withPty([&](SimPty& pty) { pty.setBaud(baud); });
    std::atomic<double> stopAt{-1};
    std::atomic<double> allStopAt{-1};
    sim.with([&](SimController& c) {
        SimDefaults::apply(c);
        c.setMoveSteps(10);
        c.setAutoStep(50);
        QObject::connect(&c, &SimController::lineReceived, &c, [&](const QByteArray& line) {
            double none = -1;
            if (line == "1ST")
                stopAt.compare_exchange_strong(none, benchMsNow());
            none = -1;
            if (line == "0ST")
                allStopAt.compare_exchange_strong(none, benchMsNow());
        }, Qt::DirectConnection);
    });
    QStringList open;
    std::unique_ptr<frmMain> main = startBenchDesktop(kPort, sim.slavePath(), scratch, open);
    std::printf("%d baud, model %s, windows open: %s\n", baud, qPrintable(KvlXGlobal::gModel),
                qPrintable(open.join(QLatin1Char(' '))));
    runFor(2000); // settle

    // 1. Everything in view, left alone.
    StallProbe probe;
    probe.start();
    const double share = lineShare(sim, baud, seconds * 1000);
    probe.stop();
    const std::vector<double>& stalls = probe.stalls();
    std::printf("in view, %d s:     event-loop stall p50 %.1f ms, p99 %.1f ms, longest %.1f ms; polling uses %.1f %% "
                "of the line\n",
                seconds, percentile(stalls, 0.5), percentile(stalls, 0.99), percentile(stalls, 1.0), share);

    // 2. The display-only windows minimised.
    for (const char* name : {"frmPosition", "frmEnable"}) {
        if (Form* f = Form::loadedForm(QString::fromLatin1(name)))
            f->frame()->showMinimized();
    }
    const double minimisedShare = lineShare(sim, baud, std::max(1, seconds / 3) * 1000);
    std::printf("positions and motor power minimised: polling uses %.1f %% of the line\n", minimisedShare);
    for (const char* name : {"frmPosition", "frmEnable"}) {
        if (Form* f = Form::loadedForm(QString::fromLatin1(name)))
            f->frame()->showNormal();
    }
    runFor(500);

    // 3. Free-run jogs of axis 1, each released at a random point of the polling.
    Form* jog = Form::loadedForm(QStringLiteral("frmJog"));
    auto* freeRun = qobject_cast<QAbstractButton*>(child(jog, "optMode_1"));
    auto* axis1 = qobject_cast<QAbstractButton*>(child(jog, "optJogAxisX_0"));
    QWidget* plus = child(jog, "btnJog_1");
    if (!freeRun || !axis1 || !plus) {
        std::fprintf(stderr, "the jog window's controls are missing\n");
        return 1;
    }
    freeRun->click();
    axis1->click();
    std::vector<double> releases;
    QRandomGenerator random(21);
    for (int i = 0; i < kReleases; ++i) {
        postMouse(plus, QEvent::MouseButtonPress);
        runFor(300 + int(random.bounded(200)));
        stopAt.store(-1);
        const double released = benchMsNow();
        postMouse(plus, QEvent::MouseButtonRelease);
        QElapsedTimer limit;
        limit.start();
        while (stopAt.load() < 0 && limit.elapsed() < 3000)
            runFor(1);
        if (stopAt.load() >= 0)
            releases.push_back(stopAt.load() - released);
        runFor(600); // the stop runs out
    }
    std::printf("jog release -> \"1ST\" on the wire, %d of %d releases: median %.1f ms, longest %.1f ms\n",
                int(releases.size()), kReleases, percentile(releases, 0.5), percentile(releases, 1.0));

    // 4. Stop clicks, each at a random point of the polling, on lines that lose or delay replies.
    QWidget* stop = child(Form::loadedForm(QStringLiteral("frmStop")), "btnEStop");
    if (!stop) {
        std::fprintf(stderr, "the stop window's button is missing\n");
        return 1;
    }
    const QPointF at(stop->width() / 2.0, stop->height() / 2.0);
    const QPointF global = stop->mapToGlobal(at);
    struct Line {
        const char* name;
        int dropEvery;
        int lateEvery;
        int lateMs;
    };
    bool allClicked = true;
    bool linkHeld = true;
    for (const Line& line : {Line{"every fifth reply lost", 5, 0, 0}, Line{"every seventh reply 1.5 s late", 0, 7, 1500},
                             Line{"every second reply 1.2 s late", 0, 2, 1200}, Line{"every reply 0.7 s late", 0, 1, 700},
                             Line{"every reply 0.9 s late", 0, 1, 900}}) {
        sim.with([&](SimController& c) { c.setDropEvery(line.dropEvery); });
        sim.withPty([&](SimPty& pty) { pty.setLateEvery(line.lateEvery, line.lateMs); });
        std::vector<double> clicks;
        for (int i = 0; i < kReleases; ++i) {
            // The click comes from outside, as a person's does: at its moment, whatever the program
            // is doing, and it waits in the queue until the event loop is free.
            auto* press = new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                                          Qt::NoModifier);
            auto* release = new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                                            Qt::NoModifier);
            const int delayMs = 300 + int(random.bounded(1500));
            allStopAt.store(-1);
            std::atomic<double> clicked{-1};
            std::thread person([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                clicked.store(benchMsNow());
                QCoreApplication::postEvent(stop, press);
                QCoreApplication::postEvent(stop, release);
            });
            QElapsedTimer limit;
            limit.start();
            while ((clicked.load() < 0 || allStopAt.load() < 0) && limit.elapsed() < delayMs + 5000)
                runFor(1);
            person.join();
            if (allStopAt.load() >= 0 && clicked.load() >= 0)
                clicks.push_back(allStopAt.load() - clicked.load());
        }
        sim.with([](SimController& c) { c.setDropEvery(0); });
        sim.withPty([](SimPty& pty) { pty.setLateEvery(0, 0); });
        const bool held = main->KVLComm1().BusType() == BUS_TYPE_RS232;
        std::printf("%s: stop click -> \"0ST\" on the wire, %d of %d clicks: median %.1f ms, longest %.1f ms; "
                    "link %s\n",
                    line.name, int(clicks.size()), kReleases, percentile(clicks, 0.5), percentile(clicks, 1.0),
                    held ? "still open" : "broken");
        allClicked = allClicked && clicks.size() == size_t(kReleases);
        linkHeld = linkHeld && held;
        runFor(2000); // the late replies run out
    }

    // 5. A live controller that loses one answer in ten keeps its link; one whose every answer
    // dribbles is reported broken within seconds.
    sim.with([](SimController& c) { c.setDropEvery(10); });
    runFor(60000);
    sim.with([](SimController& c) { c.setDropEvery(0); });
    const bool keptOnLoss = main->KVLComm1().BusType() == BUS_TYPE_RS232;
    std::printf("one reply in ten lost, 60 s: link %s\n", keptOnLoss ? "still open" : "broken");
    sim.withPty([](SimPty& pty) { pty.setDribble(200); });
    QElapsedTimer dribbling;
    dribbling.start();
    while (main->KVLComm1().BusType() == BUS_TYPE_RS232 && dribbling.elapsed() < 60000)
        runFor(50);
    const bool reported = main->KVLComm1().BusType() != BUS_TYPE_RS232;
    std::printf("every reply dribbled, a character every 200 ms: link %s after %.1f s\n",
                reported ? "reported broken" : "still shown open", dribbling.elapsed() / 1000.0);
    sim.withPty([](SimPty& pty) { pty.setDribble(0); });

    main->close();
    main.reset();
    return releases.size() == size_t(kReleases) && allClicked && linkHeld && keptOnLoss && reported
               && dribbling.elapsed() < 10000
        ? 0
        : 1;
}
