#pragma once

#include "library/link/LinkTransport.h"

// No bus: sends succeed without sending anything, a plain read has nothing to give.
class DemoTransport : public LinkTransport {
public:
    int initStep(int deviceId) override;
    int openStep(int deviceId, bool& toDemo) override;
    int close() override;
    int send(const QByteArray& command) override;
    QVariant sendNoTerm(const QByteArray& command) override;
    int read(QString& reply) override;
    int sendRead(const QByteArray& command, QString& reply) override;
    // Nothing is ever on the way: the link is always in step.
    bool inStep() override { return true; }
};
