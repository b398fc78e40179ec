#include "utility/shell/EventWait.h"

#include "platform/kernel/Clock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <vector>

namespace {

struct Pending {
    QPointer<QObject> context;
    std::function<void()> action;
};

int g_depth = 0;
std::vector<Pending> g_pending;
bool g_posted = false;
QPointer<QAbstractEventDispatcher> g_hookedDispatcher;

void runPending()
{
    g_posted = false;
    if (EventWait::busy())
        return; // the next time the outer loop is about to wait, it is tried again
    std::vector<Pending> due;
    due.swap(g_pending);
    for (Pending& p : due) {
        if (p.context)
            p.action();
    }
}

// The outermost loop is about to wait for events: no handler is running, so put-off work can run
// as a handler of its own on this loop.
void outerLoopIdle()
{
    if (g_pending.empty() || g_posted || EventWait::busy())
        return;
    g_posted = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), &runPending, Qt::QueuedConnection);
}

void hookDispatcher()
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || dispatcher == g_hookedDispatcher)
        return;
    g_hookedDispatcher = dispatcher;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, &outerLoopIdle);
}

} // namespace

EventWait::EventWait()
{
    ++g_depth;
}

EventWait::~EventWait()
{
    --g_depth;
}

void EventWait::pumpFor(int ms)
{
    EventWait guard;
    platform::Clock::pumpFor(ms);
}

bool EventWait::busy()
{
    if (g_depth > 0)
        return true;
    // Level 1 is the outermost loop (the program's, or a test's own wait); deeper is a nested one.
    return QThread::currentThread()->loopLevel() > 1;
}

void EventWait::runWhenIdle(QObject* context, std::function<void()> action)
{
    if (!QCoreApplication::instance())
        return;
    hookDispatcher();
    g_pending.push_back(Pending{context, std::move(action)});
}

int EventWait::pendingCount()
{
    return static_cast<int>(g_pending.size());
}
