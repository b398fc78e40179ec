#include "library/link/GpibTransport.h"

#include "library/link/VBIB32.h"
#include "platform/kernel/Clock.h"

#include <algorithm>

int GpibTransport::initStep(int deviceId)
{
    return openUnit(deviceId);
}

int GpibTransport::openStep(int deviceId, bool&)
{
    const int r = openUnit(deviceId);
    if (r != 0)
        showBox(QStringLiteral("Unable to Open the Specified GPIB Device"), 16, QStringLiteral("GPIB Device Open Error"));
    return r;
}

int GpibTransport::openUnit(int deviceId)
{
    m_descriptor = VBIB32::ibdev(0, short(deviceId), 0, 12, 1, 0);
    const int r = (VBIB32::ibsta & VBIB32::ERR) ? -1 : 0;
    VBIB32::ibclr(short(m_descriptor));
    return r;
}

int GpibTransport::close()
{
    return 0;
}

int GpibTransport::writeCommand(const QByteArray& command)
{
    VBIB32::ibwrt(short(m_descriptor), command, int(command.size()));
    return 0;
}

QVariant GpibTransport::writeNoTerm(const QByteArray& command)
{
    return QVariant(writeCommand(command));
}

int GpibTransport::readMessage(Message& got)
{
    QByteArray buffer(ReplyBufferLength, ' ');
    VBIB32::ibrd(short(m_descriptor), buffer, int(buffer.size()));
    const int count = std::clamp(int(VBIB32::ibcntl), 0, int(ReplyBufferLength));
    // The device marks its message's last byte: a full buffer without that mark leaves the rest.
    got.filled = count >= ReplyBufferLength && !(VBIB32::ibsta & VBIB32::END);
    got.text = fromAnsi(buffer.left(count));
    return trimBlanks(got.text).isEmpty() ? -1 : 0;
}

int GpibTransport::read(QString& reply)
{
    Message got;
    const int status = readMessage(got);
    reply = trimBlanks(separateReadText(got.text, got.filled));
    return reply.isEmpty() ? -1 : status;
}

int GpibTransport::sendLength(const QByteArray& command, short length)
{
    // Firmware lines are binary: the count is bounded by the bytes given, never by a NUL.
    const int count = std::clamp(int(length), 0, int(command.size()));
    VBIB32::ibwrt(short(m_descriptor), command, count);
    return 0;
}

int GpibTransport::serialPoll()
{
    short poll = 0;
    VBIB32::ibrsp(short(m_descriptor), poll);
    return poll & 0xFF;
}

void GpibTransport::setTimeout(int timeoutCode)
{
    VBIB32::ibtmo(short(m_descriptor), short(timeoutCode));
}
