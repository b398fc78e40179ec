#pragma once

#include <QtGlobal>

// When the controller is taken for gone, so the link breaks once: it counts what the controller
// failed to answer, not how often the link had to put the line back in step.
//
// Two signs, either enough:
// - UnansweredQueryLimit queries in a row that had their fair time and got no whole reply in time
//   (a controller that still names itself but answers no query, or answers only past the limit);
// - a spell of at least SilentSpellMs, over at least MinFailures exchanges, in which nothing asked
//   was answered in time: no query, and no resynchronisation's identification on a clean line
//   (silence, dribble, garbage).
// A query answered in time ends both; an identification that settles a resynchronisation on a
// clean line ends the spell only.
//
// One answer in ten lost, identifications included, costs a query, never the link: the spell
// needs every identification asked after it lost too, and the count six lost queries in a row.
class SilenceWatch {
public:
    static constexpr int UnansweredQueryLimit = 6;
    static constexpr int SilentSpellMs = 4000;
    static constexpr int MinFailures = 4;

    // A query was answered in time.
    void queryAnswered();
    // A resynchronisation was settled in time by an identification on a clean line.
    void identified();
    // An exchange begun at since got no answer in time by now: a query (fairTime: it had its fair
    // time) or a resynchronisation. True when the link is to break; the watch then starts over.
    bool unanswered(qint64 since, qint64 now, bool query, bool fairTime);

    void reset();

private:
    int m_queries = 0;
    int m_failures = 0;
    qint64 m_spellSince = 0;
};
