#pragma once

#include <QtGlobal>
#include <functional>

class QObject;

namespace platform {

// The one monotonic clock of the program. Waits that let events run use pumpFor(), so a test can
// replace the clock and a long wait then takes no real time.
class Clock {
public:
    // Milliseconds on a monotonic clock (the tick count of the original).
    static qint64 tickMs();

    // Lets events run for ms milliseconds in a nested event loop (never a spin). With a test clock
    // installed, events are processed once and the test clock is advanced by ms instead.
    // ms <= 0 processes pending events once.
    static void pumpFor(int ms);

    // Lets events run until done() is true or timeoutMs has passed on this clock, checking done()
    // at least every stepMs. Returns done()'s last answer. With the test clock each step processes
    // events once and advances the clock by stepMs, so the wait takes no real time.
    static bool pumpUntil(const std::function<bool()>& done, int timeoutMs, int stepMs = 10);

    // Processes pending events once (the DoEvents of the original).
    static void pumpOnce();

    // How many pumps of this clock (and modal loops marked with PumpScope) are running on the
    // stack: work at a greater depth than a handler was started at runs inside it, set off by
    // events the handler let through.
    static int pumpDepth();
    class PumpScope {
    public:
        PumpScope();
        ~PumpScope();
        PumpScope(const PumpScope&) = delete;
        PumpScope& operator=(const PumpScope&) = delete;
    };

    // Work that lets events run and is set off by a press or a focus change goes through here,
    // never straight into a pump: a nested pump inside a mouse press handles that click's queued
    // release before the press reaches its button, so the button stays down and never clicks.
    // The work starts once the event has been handled; while a mouse button is held, once its
    // release has been handled too, so the click comes first. Nothing runs when context has gone.
    static void afterInput(QObject* context, std::function<void()> work);

    // Blocks the thread without letting events run (the kernel's Sleep). With the test clock it
    // still blocks, and advances the test clock by ms as well, so time read after it has moved on.
    static void sleepMs(int ms);

    // Blocks the thread for up to ms on this clock in wait(realMs), which waits on something (a
    // device, a lock) for at most the real milliseconds it is given and may return early. With the
    // test clock the real wait is cut to a quarter (25 ms at least) and the test clock advances by
    // ms, so a wait on a silent device takes little real time in a test.
    static void blockFor(int ms, const std::function<void(int realMs)>& wait);

    // Test seam: a manual clock that starts at startMs and advances only by advance(), pumpFor()
    // (and pumpUntil()) and sleepMs().
    // realMsPerWait lets that much real time pass in each pumpFor() as well, so work on other
    // threads (a simulator serving a pseudo-terminal) keeps up with the program's waits.
    static void useManualClock(qint64 startMs = 1000, int realMsPerWait = 0);
    static void advance(qint64 ms);
    static void useRealClock();
    static bool isManual();
};

} // namespace platform
