#pragma once

#include "library/link/LinkTransport.h"

#include <functional>

class QTimer;

namespace platform {
class SerialControl;
}

// The serial port. A command without terminator gets one carriage return; a read waits up to its
// limit on the program clock for a line feed, on the port and never in a spin, with the control's
// timer off so no tick starts a second exchange inside it. The limit holds however much arrives,
// and starts once the line has carried what was written before it: a query behind a long send is
// not given up while the controller has still to receive it.
//
// The port delivers lines to the link's reply rule; input that waits between exchanges is held for
// the next reader, so a plain send leaves it for a later separate read while the line is in step.
// The port starts empty when it opens.
//
// Held input is bounded: a line that does not end within ReplyBufferLength characters is dropped
// to its end and is a broken line, and no more than InputBound bytes are ever held.
class Rs232Transport : public LinkTransport {
public:
    static constexpr int InputBound = 16 * ReplyBufferLength;
    // A reply just late is waited for this long before the line is asked for its identification.
    static constexpr int OwedReplyWaitMs = 400;

    Rs232Transport(platform::SerialControl* serial, QTimer* timer);

    int initStep(int deviceId) override;
    int openStep(int deviceId, bool& toDemo) override;
    int close() override;
    int closeAfterFailure() override;

    int read(QString& reply) override;
    qint64 replyDeadline(int limitMs) const override;
    // How long the line still needs to carry what was written, on the program clock.
    qint64 msUntilLineFree() const;
    // Takes what waits at the port: true when a whole line (or one too long) is held for a read.
    bool lineHeld();

    // Text the receive event took in between exchanges, for the next reader.
    void received(const QByteArray& bytes) { takeIn(bytes); }
    // Lets the port go and drops what was held (demo mode after a failed start).
    void letGo();

protected:
    int writeCommand(const QByteArray& command) override;
    QVariant writeNoTerm(const QByteArray& command) override;
    Line takeLine(qint64 deadline) override;
    bool takeWaitingLine(Line& line) override;
    int owedReplyWaitMs() const override { return OwedReplyWaitMs; }

private:
    void openPort();
    void forget();
    // -1 when the port is closed, else 0.
    int write(const QByteArray& command, bool addTerm);
    // Input into the held text, bounded as said above.
    void takeIn(QByteArray bytes);
    void takeWaiting();
    // Takes input until done() or the deadline on the program clock, waiting on the port.
    bool waitUntil(const std::function<bool()>& done, qint64 deadline, bool takeWaitingFirst = true);
    // The first held line that has ended, or the line too long or cut off that stands in for it.
    bool heldLine(Line& line);

    platform::SerialControl* m_serial;
    QTimer* m_timer;
    QByteArray m_buffer;
    // A line that does not fit the reply buffer came since the buffer was last handed over.
    bool m_overflowed = false;
    // Input up to the next line feed is the rest of such a line.
    bool m_dropToLineEnd = false;
    // The port was looked at just before the last write: its reply is waited for before it is
    // looked for.
    bool m_justWritten = false;
    // When the line will have carried what was written, on the program clock.
    qint64 m_lineFreeAt = 0;
};
