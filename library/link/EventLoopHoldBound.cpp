#include "library/link/EventLoopHoldBound.h"

#include <utility>

void EventLoopHoldBound::beginTick(int pumpDepth, qint64 now)
{
    m_burst = TickBurst{true, pumpDepth, now, false};
    m_burstsLeft = std::exchange(m_leftThisTick, 0);
}

void EventLoopHoldBound::endTick()
{
    m_burst = TickBurst{};
}

bool EventLoopHoldBound::inTickBurst(int pumpDepth) const
{
    return m_burst.active && pumpDepth == m_burst.depth;
}

bool EventLoopHoldBound::tickBurstSpent(int pumpDepth, qint64 now) const
{
    return inTickBurst(pumpDepth) && (m_burst.failed || now - m_burst.start > m_limitMs);
}

bool EventLoopHoldBound::takeTickTurn(bool& leftLastTick, int pumpDepth, qint64 now)
{
    if (tickBurstSpent(pumpDepth, now)) {
        leftLastTick = true;
        ++m_leftThisTick;
        return false;
    }
    // Handlers left out of the last tick go first: the others sit this one out.
    if (!leftLastTick && m_burstsLeft > 0)
        return false;
    leftLastTick = false;
    return true;
}

void EventLoopHoldBound::noteTrouble(qint64 since, bool failed, int pumpDepth, qint64 now)
{
    if (failed && inTickBurst(pumpDepth))
        m_burst.failed = true;
    if (m_troubleGo != m_go) {
        m_troubleGo = m_go;
        m_troubleMs = 0;
        m_holdingSince = -1;
    }
    m_troubleMs += now - since;
}

EventLoopHoldBound::Refusal EventLoopHoldBound::refusal(int pumpDepth, qint64 now, bool eventLoopRunning)
{
    if (tickBurstSpent(pumpDepth, now))
        return Refusal::TickSpent;
    if (!eventLoopRunning || m_troubleGo != m_go || m_troubleMs < m_limitMs)
        return Refusal::None;
    if (m_holdingSince < 0)
        m_holdingSince = now;
    if (now - m_holdingSince < m_holdMs)
        return Refusal::WaitsForEvents;
    // Events did not run for a whole hold: the go starts over, and must wait out trouble again
    // before anything more is held back.
    m_troubleMs = 0;
    m_holdingSince = -1;
    return Refusal::None;
}

void EventLoopHoldBound::reset()
{
    m_burst.failed = false;
    m_burstsLeft = 0;
    m_leftThisTick = 0;
    m_troubleGo = ~quint64(0);
    m_troubleMs = 0;
    m_holdingSince = -1;
}
