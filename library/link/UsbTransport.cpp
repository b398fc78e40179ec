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

int UsbTransport::writeCommand(const QByteArray& command)
{
    return platform::kvl_usb_send_ascii(m_device, command.constData(), int(command.size()));
}

QVariant UsbTransport::writeNoTerm(const QByteArray& command)
{
    return QVariant(writeCommand(command));
}

int UsbTransport::readMessage(Message& got)
{
    QByteArray buffer(ReplyBufferLength, ' ');
    int count = 0;
    const int code = platform::kvl_usb_get_ascii(m_device, buffer.data(), int(buffer.size()), &count);
    count = std::clamp(count, 0, int(ReplyBufferLength));
    got = Message{};
    // A driver failure brings no reply, whatever its buffer holds.
    if (code != 0)
        return code;
    got.text = fromAnsi(buffer.left(count));
    // A full read that ended its line left nothing behind.
    got.filled = count >= ReplyBufferLength && !got.text.endsWith(QLatin1Char('\n'));
    return code;
}

int UsbTransport::read(QString& reply)
{
    Message got;
    const int code = readMessage(got);
    reply = separateReadText(got.text, got.filled);
    return reply.isEmpty() ? -1 : code;
}
