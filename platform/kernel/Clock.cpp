#include "platform/kernel/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

namespace platform {

namespace {

std::atomic<bool> g_manual{false};
std::atomic<qint64> g_manualNow{0};
std::atomic<int> g_manualRealMs{0};
// Only the user interface thread pumps.
int g_pumpDepth = 0;

// A nested event loop needs the application object and an event dispatcher on this thread.
bool canRunEventLoop()
{
    return QCoreApplication::instance() != nullptr
        && QThread::currentThread()->eventDispatcher() != nullptr;
}

// Holds work back while a mouse button is down. The release is seen before it is delivered, so
// work posted then runs after the release (and the click it makes) has been handled.
class ReleaseWait : public QObject {
public:
    static ReleaseWait& instance()
    {
        static ReleaseWait* wait = new ReleaseWait(QCoreApplication::instance());
        return *wait;
    }

    void add(QObject* context, std::function<void()> work)
    {
        m_waiting.push_back({QPointer<QObject>(context), std::move(work)});
        if (m_waiting.size() == 1) {
            QCoreApplication::instance()->installEventFilter(this);
            // A release that never reaches this program (a grab taken elsewhere) does not hold
            // the work for ever: the buttons are looked at again now and then.
            m_check.start();
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease)
            QTimer::singleShot(0, this, [this] { postIfReleased(); });
        return QObject::eventFilter(watched, event);
    }

private:
    explicit ReleaseWait(QObject* parent) : QObject(parent)
    {
        m_check.setInterval(100);
        connect(&m_check, &QTimer::timeout, this, [this] { postIfReleased(); });
    }

    void postIfReleased()
    {
        if (m_waiting.empty() || QGuiApplication::mouseButtons() != Qt::NoButton)
            return;
        QCoreApplication::instance()->removeEventFilter(this);
        m_check.stop();
        for (auto& [context, work] : std::exchange(m_waiting, {})) {
            if (context)
                work();
        }
    }

    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> m_waiting;
    QTimer m_check;
};

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

Clock::PumpScope::PumpScope()
{
    ++g_pumpDepth;
}

Clock::PumpScope::~PumpScope()
{
    --g_pumpDepth;
}

int Clock::pumpDepth()
{
    return g_pumpDepth;
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
    PumpScope scope;
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
    PumpScope scope;
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void Clock::afterInput(QObject* context, std::function<void()> work)
{
    if (!context || !work)
        return;
    QTimer::singleShot(0, context, [context, work = std::move(work)]() mutable {
        if (QGuiApplication::mouseButtons() != Qt::NoButton)
            ReleaseWait::instance().add(context, std::move(work));
        else
            work();
    });
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
    // second costs a test a quarter of a real one: a quarter of the wait, 25 ms at least.
    constexpr int kManualSliceMs = 25;
    wait(std::min(ms, std::max({kManualSliceMs, g_manualRealMs.load(), ms / 4})));
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
