#pragma once

#include "library/link/LinkTransport.h"

// The GPIB instrument through the NI-488.2 binding. Also carries the bus-only members: the length
// send of the firmware download, the serial poll and the timeout change.
class GpibTransport : public LinkTransport {
public:
    int initStep(int deviceId) override;
    int openStep(int deviceId, bool& toDemo) override;
    int close() override;

    int read(QString& reply) override;

    // Exactly length bytes of the command (never more than it holds), NUL and high bytes included.
    int sendLength(const QByteArray& command, short length);
    // The serial-poll status byte, 0 to 255.
    int serialPoll();
    void setTimeout(int timeoutCode);

protected:
    int writeCommand(const QByteArray& command) override;
    QVariant writeNoTerm(const QByteArray& command) override;
    QString replyText(const QString& line) const override { return trimToLineFeed(line); }
    // One read of the bus: what came, untrimmed; status -1 when it is nothing but blanks.
    int readMessage(Message& got) override;

private:
    // ibdev on the address, then a device clear; -1 when the unit could not be had.
    int openUnit(int deviceId);

    int m_descriptor = 0;
};
