#pragma once

#include "tests/support/PseudoTerminal.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A misbehaving controller on a pseudo-terminal, served from a thread of its own in real time:
// each line the host sends (ended by CR or LF) gets the answer the script gives, after its delay
// and at its pace, in the order the lines came (an answer begins no earlier than the one before
// it ended, as a controller that works through its lines one at a time). Optionally it floods the line with one chunk again and again.
class ScriptedController {
public:
    struct Answer {
        QByteArray text;   // nothing: no answer
        int delayMs = 0;   // before the first character
        int perCharMs = 0; // 0: all at once
    };
    using Script = std::function<Answer(const QByteArray& line)>;

    explicit ScriptedController(Script script);
    ~ScriptedController();
    ScriptedController(const ScriptedController&) = delete;
    ScriptedController& operator=(const ScriptedController&) = delete;

    bool isOpen() const { return m_pty.isOpen(); }
    QString slavePath() const { return m_pty.slavePath(); }

    // Writes chunk as fast as the line takes it until flooding stops (an empty chunk).
    void setFlood(const QByteArray& chunk);
    // Takes the host's characters only as fast as a line at `baud` carries them (10 bit-times a
    // character, a few at a time), so a host that writes faster fills its output buffer; 0 (the
    // default): as they come.
    void setReadBaud(int baud);
    // The lines received so far, without their terminators.
    QList<QByteArray> lines() const;
    // When a line came in, on clockMs(); -1 when it has not come (the first of equal lines).
    qint64 receivedAt(const QByteArray& line) const;
    // The controller's clock: monotonic milliseconds, shared by every instance.
    static qint64 clockMs();
    qint64 bytesSent() const { return m_sent.load(); }

private:
    struct Due {
        qint64 atMs;
        QByteArray bytes;
    };
    void run();
    void lineIn(const QByteArray& line, qint64 now);

    PseudoTerminal m_pty;
    Script m_script;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_sent{0};
    mutable std::mutex m_mutex;
    QByteArray m_flood;
    int m_readBaud = 0;
    qint64 m_lineFreeNs = 0; // when the line has carried every character taken so far
    QList<QByteArray> m_lines;
    QList<qint64> m_lineTimes;
    std::vector<Due> m_due;
    qint64 m_busyUntil = 0; // when the last answer given has gone out
    QByteArray m_partial;
    std::thread m_thread;
};
