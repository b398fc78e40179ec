#pragma once

#include <QString>
#include <QStringList>

#include <QtGlobal>

// A seeded random schedule of the link against a controller that answers in order, with line time
// between its answers: each answer comes at once, late by up to 3 s (holding up the ones after
// it), or never. The caller mixes position queries of four axes, identification queries, plain
// sends (motion commands and the identification's plain form) and openings of the link, midway
// and whenever the link breaks. Two kinds of host call it: a program whose calls run inside its
// event loop, letting events run between most of its steps, and one that calls the control from
// a loop of its own and never runs events.
//
// Every answer is its query's own: "<axis>.<n>", n counting that axis's queries at the
// controller, so a reply that answers any other query is seen.
class LinkSchedule {
public:
    enum class Bus {
        Serial, // a pseudo-terminal, in real time
        Usb,    // the in-process USB stand-in, on the program's manual clock
    };

    enum class Host {
        EventLoop, // calls from inside a running event loop, events between most steps
        NoEvents,  // calls from a loop of its own, no event loop and no events ever
    };

    struct Result {
        int schedules = 0;
        int queries = 0;
        int answered = 0;
        int unanswered = 0;
        int notSent = 0;
        // Queries refused unsent until events run.
        int heldBack = 0;
        int openings = 0;
        int breaks = 0;
        int wrong = 0;
        // The time the schedules took on the program's clock.
        qint64 programMs = 0;
        // The first few wrong replies: "seed 7: 3TP? -> \"1.00004\"".
        QStringList wrongReplies;

        void add(const Result& other);
        QString summary() const;
    };

    // With steadyLossPercent of 0 or more, the controller loses that share of its answers and
    // delays none, and the caller only asks positions (and opens the link again after a break).
    static Result run(Bus bus, Host host, quint32 seed, int steps, int steadyLossPercent = -1);
};
