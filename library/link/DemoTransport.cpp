#include "library/link/DemoTransport.h"

int DemoTransport::initStep(int)
{
    return 0;
}

int DemoTransport::openStep(int, bool&)
{
    return -1; // there is nothing to open
}

int DemoTransport::close()
{
    return -1;
}

int DemoTransport::writeCommand(const QByteArray&)
{
    return 0;
}

QVariant DemoTransport::writeNoTerm(const QByteArray&)
{
    return QVariant(int(0));
}

int DemoTransport::read(QString&)
{
    return -1; // the reply buffer stays as it was given
}

int DemoTransport::sendRead(const QByteArray&, QString& reply, int)
{
    reply.clear();
    return 0;
}
