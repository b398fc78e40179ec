#pragma once

#include <QtGlobal>

// How long the link's exchanges may hold the program's event loop, so that a stop click or a jog
// release reaches the wire within about a read limit on any line.
//
// - A tick's burst (the Timer handlers of one tick) ends once it has run LimitMs or an exchange in
//   it failed; the handlers it left out go first on the next tick. Work that events let in during
//   the burst (a stop click) is not part of it.
// - Outside a burst, once the exchanges of one go (until events next run) that failed or had to
//   put the line back in step have held the program for LimitMs, the go's later queries are held
//   back unsent. That serves only where returning lets events run: an event loop must be running
//   in the thread. A program that calls the control from a loop of its own is never held back, and
//   a query is held back at most until events run or HoldMs has passed.
//
// The link starts afresh at every opening and close: reset() forgets the go and the burst's trouble.
class EventLoopHoldBound {
public:
    EventLoopHoldBound(int limitMs, int holdMs) : m_limitMs(limitMs), m_holdMs(holdMs) {}

    // Events ran: the program's next go begins.
    void eventsRan() { ++m_go; }

    // A tick's burst.
    bool tickRunning() const { return m_burst.active; }
    void beginTick(int pumpDepth, qint64 now);
    void endTick();
    // The caller runs in the running tick's burst, not in an event let in during it.
    bool inTickBurst(int pumpDepth) const;
    bool tickBurstSpent(int pumpDepth, qint64 now) const;
    // Whether a Timer handler acts on this tick; see KVLComm::takeTickTurn.
    bool takeTickTurn(bool& leftLastTick, int pumpDepth, qint64 now);

    // An exchange begun at since was put back in step first, or failed (or was not sent): the
    // time it held the program counts toward this go's, and a failure ends a tick's burst.
    void noteTrouble(qint64 since, bool failed, int pumpDepth, qint64 now);

    enum class Refusal {
        None,           // the query may go out
        TickSpent,      // the running tick's burst is over
        WaitsForEvents, // this go has waited out a bad line: the query goes out once events ran
    };
    // Whether a query asked now is held back. eventLoopRunning: returning lets events run.
    Refusal refusal(int pumpDepth, qint64 now, bool eventLoopRunning);

    void reset();

private:
    const int m_limitMs;
    const int m_holdMs;

    struct TickBurst {
        bool active = false;
        int depth = 0;
        qint64 start = 0;
        bool failed = false;
    };
    TickBurst m_burst;
    // Timer handlers that the last tick and this one left out.
    int m_burstsLeft = 0;
    int m_leftThisTick = 0;

    quint64 m_go = 0;
    // The go whose troubled exchanges m_troubleMs adds up.
    quint64 m_troubleGo = ~quint64(0);
    qint64 m_troubleMs = 0;
    // When this go's queries began to be held back; -1 while none is.
    qint64 m_holdingSince = -1;
};
