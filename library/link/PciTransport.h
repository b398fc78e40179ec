#pragma once

#include "library/link/LinkTransport.h"

// The PCI board through its driver library. The driver's own codes pass through a send and a
// plain read; on older NT systems the board count is checked before a board is used.
class PciTransport : public LinkTransport {
public:
    int initStep(int deviceId) override;
    int openStep(int deviceId, bool& toDemo) override;
    int close() override;
    // A reply that names the controller is enough on this bus, whatever the status.
    bool acceptsIdentification(const QString& reply, int status) const override;

    int read(QString& reply) override;

protected:
    int writeCommand(const QByteArray& command) override;
    QVariant writeNoTerm(const QByteArray& command) override;
    // The board sends and reads in one driver call: what that read brought is the first of the
    // reply's lines. A command the bus cannot carry is not sent (QueryNotSent); a driver code
    // other than 0 is a failed read.
    int writeQuery(const QByteArray& command) override;
    // One read of the driver: what came; the driver's code.
    int readMessage(Message& got) override;

private:
    // True when command can go out whole; otherwise says so in a box and sends nothing.
    bool refuseNul(const QByteArray& command) const;
    // Chooses the board, then starts (open false) or opens the driver; -1 when the board is missing.
    int boardStep(int deviceId, bool open);
    bool boardAvailable(int deviceId);
};
