#pragma once

#include "library/link/LinkTransport.h"

#include <functional>

class QTimer;

namespace platform {
class SerialControl;
}

// The serial port. A command without terminator gets one carriage return; a read waits up to
// ReplyLimitMs on the program clock for a line feed, on the port and never in a spin, with the
// control's timer off so no tick starts a second exchange inside it. The limit holds however much
// arrives, and starts once the line has carried what was written before it: a query behind a
// long send is not given up while the controller has still to receive it.
//
// Replies are taken a line at a time and never fall out of step (the resynchronisation of the
// link): a query that brought no whole line in time, garbage, or bytes after its line puts the
// link out of step, and so does input that waits before a query is sent, unless it is only
// identifications that came late. A plain send leaves waiting input alone, for a later read,
// unless the line is out of step.
// The port starts empty when it opens.
//
// Held input is bounded: a line that does not end within ReplyBufferLength characters is dropped
// to its end and fails the read that meets it, and no more than InputBound bytes are ever held.
class Rs232Transport : public LinkTransport {
public:
    static constexpr int ReplyLimitMs = 1000;
    static constexpr int InputBound = 16 * ReplyBufferLength;

    Rs232Transport(platform::SerialControl* serial, QTimer* timer);

    int initStep(int deviceId) override;
    int openStep(int deviceId, bool& toDemo) override;
    int close() override;
    int closeAfterFailure() override;

    int send(const QByteArray& command) override;
    QVariant sendNoTerm(const QByteArray& command) override;
    int read(QString& reply) override;
    int sendRead(const QByteArray& command, QString& reply) override;
    bool inStep() override;

    // Text the receive event took in between exchanges, for the next reader.
    void received(const QByteArray& bytes) { takeIn(bytes); }
    // Lets the port go and drops what was held (demo mode after a failed start).
    void letGo();

protected:
    bool nextLine(QString& line, qint64 deadline) override;
    qint64 replyDeadline() const override;

private:
    // What one read collected.
    struct Collected {
        QByteArray text;
        bool lineEnded = false;
        bool overflowed = false;
    };

    void openPort();
    void forget();
    // -1 when the port is closed, else 0.
    int write(const QByteArray& command, bool addTerm);
    // Input into the held text, bounded as said above.
    void takeIn(QByteArray bytes);
    void takeWaiting();
    // Before a plain send on a line out of step: drops what is held and waiting.
    void dropStale();
    // Drops the whole identification lines at the front of what is held that are late answers to
    // a resynchronisation.
    void dropLateIdentifications();
    // Takes input until done() or the deadline on the program clock, waiting on the port.
    bool waitUntil(const std::function<bool()>& done, qint64 deadline, bool takeWaitingFirst = true);
    // The first line held once one has ended (nothing else taken), or, by the deadline, all that
    // came of it.
    Collected collectLine(qint64 deadline, bool takeWaitingFirst = true);

    platform::SerialControl* m_serial;
    QTimer* m_timer;
    QByteArray m_buffer;
    // A line that does not fit the reply buffer came since the buffer was last handed over.
    bool m_overflowed = false;
    // Input up to the next line feed is the rest of such a line.
    bool m_dropToLineEnd = false;
    // The last command written asked for the identification.
    bool m_askedIdentification = false;
    // When the line will have carried what was written, on the program clock.
    qint64 m_lineFreeAt = 0;
};
