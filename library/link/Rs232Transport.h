#pragma once

#include "library/link/LinkTransport.h"

class QTimer;

namespace platform {
class SerialControl;
}

// The serial port. A command without terminator gets one carriage return; a read waits up to
// ReplyLimitMs on the program clock for a line feed, on the port and never in a spin, with the
// control's timer off so no tick starts a second exchange inside it.
//
// Replies never fall out of step: input that waits before a command is sent is not its reply and
// is dropped, and a reply that comes after its read gave up is dropped when it arrives, so the next
// query gets its own. The port starts empty when it opens.
class Rs232Transport : public LinkTransport {
public:
    static constexpr int ReplyLimitMs = 1000;

    Rs232Transport(platform::SerialControl* serial, QTimer* timer);

    int initStep(int deviceId) override;
    int openStep(int deviceId, bool& toDemo) override;
    int close() override;

    int send(const QByteArray& command) override;
    QVariant sendNoTerm(const QByteArray& command) override;
    int read(QString& reply) override;
    int sendRead(const QByteArray& command, QString& reply) override;

    // Text the receive event took in between exchanges, for the next reader.
    void received(const QByteArray& bytes) { m_buffer.append(bytes); }
    // While input goes to the control's receive event, a plain send leaves waiting input alone.
    void setInputRouted(bool routed) { m_routed = routed; }
    // Lets the port go and drops what was held (demo mode after a failed start).
    void letGo();

private:
    void openPort();
    // -1 when the port is closed, else 0.
    int write(const QByteArray& command, bool addTerm);
    // Drops what waits in the reply buffer and on the port; lines among it pay off late replies.
    void discardWaiting();
    // Everything up to the first line feed, or what came within the limit.
    QByteArray collect();

    platform::SerialControl* m_serial;
    QTimer* m_timer;
    QByteArray m_buffer;
    // Queries whose read gave up with nothing received: their replies may still come.
    int m_lateReplies = 0;
    bool m_routed = false;
};
