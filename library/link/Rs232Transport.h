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
// arrives.
//
// Replies never fall out of step: input that waits before a query is sent is not its reply and
// is dropped, and a query whose read gave up (nothing, a cut-off line or one too long) still owes
// the rest of its line. No query goes out while that line can still come: within its own limit a
// query waits for it and drops it, else it is held back unsent (HeldBack, or -1 when the line kept
// sending without ending a line). A line not begun LateReplyLimitMs after its query went out, or
// quiet for OwedLineQuietMs part-way, is taken as lost, so after one lost reply the next query
// goes out within half a read limit and gets its own reply. A plain send leaves waiting input
// alone, for a later read. The port starts empty when it opens.
//
// Held input is bounded by the reply buffer: a line that does not end within ReplyBufferLength
// characters is dropped to its end and fails the read that meets it.
class Rs232Transport : public LinkTransport {
public:
    static constexpr int ReplyLimitMs = 1000;
    static constexpr int LateReplyLimitMs = ReplyLimitMs + ReplyLimitMs / 2;
    static constexpr int OwedLineQuietMs = ReplyLimitMs / 2;
    // A query that waited out an owed line goes out only with this much of its limit left.
    static constexpr int MinReplyWindowMs = ReplyLimitMs / 4;

    Rs232Transport(platform::SerialControl* serial, QTimer* timer);

    int initStep(int deviceId) override;
    int openStep(int deviceId, bool& toDemo) override;
    int close() override;
    int closeAfterFailure() override;

    int send(const QByteArray& command) override;
    QVariant sendNoTerm(const QByteArray& command) override;
    int read(QString& reply) override;
    int sendRead(const QByteArray& command, QString& reply) override;

    // Text the receive event took in between exchanges, for the next reader.
    void received(const QByteArray& bytes) { takeIn(bytes); }
    // Lets the port go and drops what was held (demo mode after a failed start).
    void letGo();

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
    // Drops what waits in the reply buffer and on the port.
    void discardWaiting();
    // Input into the reply buffer: first the rest of an owed line is dropped, then at most a
    // buffer's worth is kept.
    void takeIn(QByteArray bytes);
    // The rest of the current line is owed by a query that went out at sentAt.
    void owe(qint64 sentAt);
    bool owedLineLost() const;
    // Takes in what waits, so an owed line that came is dropped; one that can no longer come is
    // given up.
    void settleOwed();
    // Takes input until done() or the deadline on the program clock, waiting on the port.
    bool waitUntil(const std::function<bool()>& done, qint64 deadline);
    // The reply buffer once it holds a line feed, or what came by the deadline.
    Collected collect(qint64 deadline);

    platform::SerialControl* m_serial;
    QTimer* m_timer;
    QByteArray m_buffer;
    // A line that does not fit the reply buffer came since the buffer was last handed over.
    bool m_overflowed = false;
    // Input up to the next line feed is the rest of a line an exchange gave up on.
    bool m_owed = false;
    qint64 m_owedUntil = 0;
    // Bytes taken in from the port, ever: whether the line spoke during a wait.
    qint64 m_takenIn = 0;
};
