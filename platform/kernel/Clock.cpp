#include "platform/kernel/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>

namespace platform {

namespace {

std::atomic<bool> g_manual{false};
std::atomic<qint64> g_manualNow{0};
std::atomic<int> g_manualRealMs{0};

// A nested event loop needs the application object and an event dispatcher on this thread.
bool canRunEventLoop()
{
    return QCoreApplication::instance() != nullptr
        && QThread::currentThread()->eventDispatcher() != nullptr;
}

} // namespace

qint64 Clock::tickMs()
{
    if (g_manual.load())
        return g_manualNow.load();
    // Milliseconds since the monotonic clock's reference (the machine's start), as the tick count.
    static const QElapsedTimer origin = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return origin.msecsSinceReference() + origin.elapsed();
}

void Clock::pumpFor(int ms)
{
    if (g_manual.load()) {
        if (ms > 0 && g_manualRealMs.load() > 0)
            QThread::msleep(static_cast<unsigned long>(std::min(ms, g_manualRealMs.load())));
        pumpOnce();
        if (ms > 0)
            advance(ms);
        return;
    }
    if (ms <= 0) {
        pumpOnce();
        return;
    }
    if (!canRunEventLoop()) {
        QThread::msleep(static_cast<unsigned long>(ms));
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(ms);
    loop.exec();
}

bool Clock::pumpUntil(const std::function<bool()>& done, int timeoutMs, int stepMs)
{
    stepMs = std::max(stepMs, 1);
    const qint64 deadline = tickMs() + std::max(timeoutMs, 0);
    for (;;) {
        if (done())
            return true;
        const qint64 left = deadline - tickMs();
        if (left <= 0)
            return false;
        pumpFor(static_cast<int>(std::min<qint64>(left, stepMs)));
    }
}

void Clock::pumpOnce()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void Clock::sleepMs(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
    if (g_manual.load() && ms > 0)
        advance(ms);
}

void Clock::blockFor(int ms, const std::function<void(int realMs)>& wait)
{
    if (ms <= 0)
        return;
    if (!g_manual.load()) {
        wait(ms);
        return;
    }
    // Long enough for a simulator on another thread to answer, short enough that a silent
    // second costs a test a quarter of a real one at most.
    constexpr int kManualSliceMs = 25;
    wait(std::min(ms, std::max(kManualSliceMs, g_manualRealMs.load())));
    advance(ms);
}

void Clock::useManualClock(qint64 startMs, int realMsPerWait)
{
    g_manualNow.store(startMs);
    g_manualRealMs.store(std::max(0, realMsPerWait));
    g_manual.store(true);
}

void Clock::advance(qint64 ms)
{
    g_manualNow.fetch_add(ms);
}

void Clock::useRealClock()
{
    g_manual.store(false);
}

bool Clock::isManual()
{
    return g_manual.load();
}

} // namespace platform
