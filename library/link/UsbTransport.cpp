#include "library/link/UsbTransport.h"

#include "platform/drivers/UsbDriver.h"

#include <algorithm>

int UsbTransport::initStep(int deviceId)
{
    m_device = deviceId;
    return platform::kvl_usb_init_system();
}

int UsbTransport::openStep(int deviceId, bool&)
{
    m_device = deviceId;
    const int r = platform::kvl_usb_init_system();
    if (r != 0)
        showBox(QStringLiteral("Unable to Open the Specified USB Device"), 16, QStringLiteral("USB Device Open Error"));
    return r;
}

int UsbTransport::close()
{
    return 0;
}

int UsbTransport::send(const QByteArray& command)
{
    return platform::kvl_usb_send_ascii(m_device, command.constData(), int(command.size()));
}

QVariant UsbTransport::sendNoTerm(const QByteArray& command)
{
    return QVariant(send(command));
}

int UsbTransport::getReply(QString& reply, bool& received)
{
    QByteArray buffer(ReplyBufferLength, ' ');
    int count = 0;
    const int code = platform::kvl_usb_get_ascii(m_device, buffer.data(), int(buffer.size()), &count);
    count = std::min(count, int(ReplyBufferLength));
    noteRead(count >= ReplyBufferLength);
    received = count >= 1;
    if (received)
        reply = fromAnsi(buffer.left(count));
    else
        reply.clear();
    return code;
}

int UsbTransport::read(QString& reply)
{
    bool received = false;
    const int code = getReply(reply, received);
    return received ? code : -1;
}

int UsbTransport::sendRead(const QByteArray& command, QString& reply)
{
    dropWhatFollowsAFullRead([this] {
        QString rest;
        bool got = false;
        getReply(rest, got);
    });
    if (send(command) != 0) {
        reply.clear();
        return -1;
    }
    // The get call's own code is not used: the count alone tells whether a reply came.
    bool received = false;
    getReply(reply, received);
    const bool full = reply.size() >= ReplyBufferLength;
    const bool fits = keepWithinBuffer(reply, full, [this](QString& more) {
        bool got = false;
        getReply(more, got);
        return got;
    });
    return received && fits ? 0 : -1;
}
