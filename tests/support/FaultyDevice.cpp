#include "tests/support/FaultyDevice.h"

#include "platform/kernel/Clock.h"

void FaultyDevice::talkEvery(const QByteArray& line, int everyMs)
{
    m_talk = line;
    m_talkEveryMs = everyMs;
    m_talked = 0;
}

int FaultyDevice::receive(const QByteArray& bytes)
{
    writes << int(bytes.size());
    if (m_left == 0)
        return 0;
    if (m_left > 0)
        --m_left;
    return SimDevice::receive(bytes);
}

int FaultyDevice::reply(QByteArray& bytes, int capacity)
{
    if (m_left == 0) {
        bytes.clear();
        return 0;
    }
    const int status = SimDevice::reply(bytes, capacity);
    if (status == 0 && bytes.isEmpty() && !m_talk.isEmpty()) {
        platform::Clock::advance(m_talkEveryMs);
        bytes = m_talk.left(capacity);
        ++m_talked;
    }
    return status;
}
