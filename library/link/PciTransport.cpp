#include "library/link/PciTransport.h"

#include "platform/drivers/PciDriver.h"
#include "platform/kernel/OsVersion.h"

namespace {

const QString kPciDeviceMessage = QStringLiteral(
    "Device ID is unavailable.\r\nPlease choose another DeviceID.\r\nSystem will be started in Demo mode");

// The version code the PCI path asks for: only 3 and 4 (older NT systems) make it count boards.
int osVersionCode()
{
    const platform::OsVersionInfo v = platform::GetVersionEx();
    if (v.platformId == 1)
        return v.minorVersion == 10 ? 5 : 0;
    if (v.platformId == 2) {
        switch (v.majorVersion) {
        case 3: return 3;
        case 4: return 4;
        case 5: return 2;
        default: return 0;
        }
    }
    return -1;
}

// The driver fills a C string: what follows its terminator is not part of the reply.
QString cStringReply(const QByteArray& buffer)
{
    const int end = buffer.indexOf('\0');
    return LinkTransport::fromAnsi(end < 0 ? buffer : buffer.left(end));
}

// What a read brought: a full buffer that did not end its line leaves more behind.
LinkTransport::Message message(const QByteArray& buffer)
{
    LinkTransport::Message got{cStringReply(buffer)};
    got.filled = got.text.size() >= LinkTransport::ReplyBufferLength && !got.text.endsWith(QLatin1Char('\n'));
    return got;
}

QByteArray replyBuffer()
{
    QByteArray buffer(LinkTransport::ReplyBufferLength + 1, ' ');
    buffer[LinkTransport::ReplyBufferLength] = '\0';
    return buffer;
}

} // namespace

int PciTransport::initStep(int deviceId)
{
    return boardStep(deviceId, false);
}

int PciTransport::openStep(int deviceId, bool& toDemo)
{
    if (boardStep(deviceId, true) != 0)
        toDemo = true;
    return 0;
}

int PciTransport::close()
{
    return 0;
}

bool PciTransport::acceptsIdentification(const QString& reply, int status) const
{
    return reply.left(3) == QLatin1String("KVL") || status == 0;
}

int PciTransport::writeCommand(const QByteArray& command)
{
    if (!refuseNul(command))
        return -1;
    return platform::kvl_send_ascii(command.constData());
}

QVariant PciTransport::writeNoTerm(const QByteArray& command)
{
    if (!refuseNul(command))
        return QVariant::fromValue<short>(-1);
    return QVariant::fromValue<short>(platform::kvl_send_ascii(command.constData()));
}

int PciTransport::readMessage(Message& got)
{
    QByteArray buffer = replyBuffer();
    const int status = platform::kvl_read_ascii(buffer.data(), int(buffer.size()));
    got = status == 0 ? message(buffer) : Message{};
    return status;
}

int PciTransport::read(QString& reply)
{
    QByteArray buffer = replyBuffer();
    const int status = platform::kvl_read_ascii(buffer.data(), int(buffer.size()));
    const Message got = message(buffer);
    reply = trimBlanks(separateReadText(got.text, got.filled));
    return status;
}

int PciTransport::writeQuery(const QByteArray& command)
{
    // Refused unsent: no sign of the controller's silence.
    if (!refuseNul(command))
        return QueryNotSent;
    QByteArray buffer = replyBuffer();
    const int status = platform::kvl_send_read_ascii(command.constData(), buffer.data(), int(buffer.size()));
    if (status == 0)
        holdLinesOf(message(buffer));
    // -1: sent, and nothing came within the driver's own time.
    if (status == -1)
        holdNoReply();
    return status == -1 ? 0 : status;
}

int PciTransport::boardStep(int deviceId, bool open)
{
    if (!boardAvailable(deviceId))
        return -1;
    // The board is chosen before it is used on every system, so DeviceID always means the board.
    platform::kvl_set_target_board(short(deviceId));
    if (open)
        platform::kvl_open_system();
    else
        platform::kvl_init_system();
    return 0;
}

bool PciTransport::boardAvailable(int deviceId)
{
    const int code = osVersionCode();
    if (code != 3 && code != 4)
        return true;
    int count = 0;
    int second = 0;
    platform::kvl_get_num_boards(&count, &second);
    if (deviceId + 1 > count) {
        showBox(kPciDeviceMessage, 48, QStringLiteral("PCI Device Error"));
        return false;
    }
    return true;
}

// The board library takes commands as C strings: a NUL would end the command there, and the rest
// would be lost while the driver reports success. Such a command is not sent at all.
bool PciTransport::refuseNul(const QByteArray& command) const
{
    if (!command.contains('\0'))
        return true;
    showBox(QStringLiteral("The command holds a NUL character, which the PCI bus cannot carry. Nothing was sent."),
            48, QStringLiteral("PCI Bus Error"));
    return false;
}
