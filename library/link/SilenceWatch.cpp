#include "library/link/SilenceWatch.h"

void SilenceWatch::queryAnswered()
{
    reset();
}

void SilenceWatch::identified()
{
    m_failures = 0;
}

bool SilenceWatch::unanswered(qint64 since, qint64 now, bool query, bool fairTime)
{
    if (m_failures == 0)
        m_spellSince = since;
    ++m_failures;
    if (query && fairTime)
        ++m_queries;
    const bool gone = m_queries >= UnansweredQueryLimit
        || (m_failures >= MinFailures && now - m_spellSince >= SilentSpellMs);
    if (gone)
        reset();
    return gone;
}

void SilenceWatch::reset()
{
    m_queries = 0;
    m_failures = 0;
    m_spellSince = 0;
}
