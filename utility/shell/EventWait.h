#pragma once

#include <QObject>
#include <functional>

// Waits that let events run, and the work that must not happen while one is in progress.
//
// A window's code that waits with events running (a delay, a transfer, a modal box) is still on
// the stack while other handlers run inside the wait. Destroying that window or closing the main
// window from such a handler would pull the window out from under its own code, so that work is
// put off with runWhenIdle(): it runs from the outermost event loop, once no wait is in progress.
class EventWait {
public:
    // Marks a wait in progress for the guard's lifetime (for waits that do not run a nested event
    // loop of their own, such as the manual test clock's).
    EventWait();
    ~EventWait();
    EventWait(const EventWait&) = delete;
    EventWait& operator=(const EventWait&) = delete;

    // Lets events run for ms milliseconds under a guard (the platform clock's wait).
    static void pumpFor(int ms);

    // True while a guarded wait or any nested event loop (a wait, a modal box) is in progress.
    static bool busy();

    // Runs action from the outermost event loop when nothing waits, never from inside the caller.
    // The action is dropped when context is destroyed first.
    static void runWhenIdle(QObject* context, std::function<void()> action);
    // Actions put off and not yet run.
    static int pendingCount();
};
