#pragma once

#include "library/link/LinkTransport.h"

// No bus: sends succeed without sending anything, a plain read has nothing to give.
class DemoTransport : public LinkTransport {
public:
    DemoTransport() { markInStep(); }
    int initStep(int deviceId) override;
    int openStep(int deviceId, bool& toDemo) override;
    int close() override;
    int read(QString& reply) override;
    // Nothing is ever on the way: every query is answered, empty.
    int sendRead(const QByteArray& command, QString& reply, int limitMs = ReplyLimitMs) override;
    // No line, so never out of step.
    void reopened(bool) override {}

protected:
    int writeCommand(const QByteArray& command) override;
    QVariant writeNoTerm(const QByteArray& command) override;
};
