#include "tests/support/EventGaps.h"

#include "platform/kernel/Clock.h"

#include <algorithm>

EventGaps::EventGaps()
{
    m_timer.setInterval(0);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { pass(); });
}

void EventGaps::start()
{
    m_last = platform::Clock::tickMs();
    m_longest = 0;
    m_running = true;
    m_timer.start();
}

void EventGaps::stop()
{
    pass();
    m_running = false;
    m_timer.stop();
}

void EventGaps::pass()
{
    if (!m_running)
        return;
    const qint64 now = platform::Clock::tickMs();
    m_longest = std::max(m_longest, now - m_last);
    m_last = now;
}
