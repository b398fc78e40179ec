#pragma once

#include <QString>
#include <QStringList>

#include <QtGlobal>

// A seeded random schedule of the link against a controller that answers in order, with line time
// between its answers: each answer comes at once, late by up to 3 s (holding up the ones after
// it), or never. The caller mixes position queries of four axes, identification queries, plain
// sends (motion commands and the identification's plain form) and openings of the link, midway
// and whenever the link breaks; events run between most of its steps, as in a program.
//
// Every answer is its query's own: "<axis>.<n>", n counting that axis's queries at the
// controller, so a reply that answers any other query is seen.
class LinkSchedule {
public:
    enum class Bus {
        Serial, // a pseudo-terminal, in real time
        Usb,    // the in-process USB stand-in, on the program's manual clock
    };

    struct Result {
        int schedules = 0;
        int queries = 0;
        int answered = 0;
        int unanswered = 0;
        int notSent = 0;
        int openings = 0;
        int breaks = 0;
        int wrong = 0;
        // The first few wrong replies: "seed 7: 3TP? -> \"1.00004\"".
        QStringList wrongReplies;

        void add(const Result& other);
        QString summary() const;
    };

    static Result run(Bus bus, quint32 seed, int steps);
};
