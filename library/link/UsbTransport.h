#pragma once

#include "library/link/LinkTransport.h"

// The USB device through its driver library. The count of characters the driver reports decides
// whether a reply came; the driver's own codes pass through a send and a plain read.
class UsbTransport : public LinkTransport {
public:
    int initStep(int deviceId) override;
    int openStep(int deviceId, bool& toDemo) override;
    int close() override;

    int send(const QByteArray& command) override;
    QVariant sendNoTerm(const QByteArray& command) override;
    int read(QString& reply) override;
    int sendRead(const QByteArray& command, QString& reply) override;

protected:
    // The reply the driver holds: its first count characters, empty when count is below 1; the
    // driver's code.
    int readMessage(Message& got) override;

private:
    int m_device = 0;
};
