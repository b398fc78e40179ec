#pragma once

#include "library/link/LinkTransport.h"

// The USB device through its driver library. The count of characters the driver reports decides
// whether a reply came, and a read whose driver code is not 0 brought none; the driver's own codes
// pass through a send and a plain read.
class UsbTransport : public LinkTransport {
public:
    int initStep(int deviceId) override;
    int openStep(int deviceId, bool& toDemo) override;
    int close() override;

    int read(QString& reply) override;

protected:
    int writeCommand(const QByteArray& command) override;
    QVariant writeNoTerm(const QByteArray& command) override;
    // The reply goes to the caller as the driver gave it.
    QString replyText(const QString& line) const override { return line; }
    // The reply the driver holds: its first count characters, empty when count is below 1; the
    // driver's code.
    int readMessage(Message& got) override;

private:
    int m_device = 0;
};
