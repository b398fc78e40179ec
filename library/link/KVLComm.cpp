#include "library/link/KVLComm.h"

#include "library/link/CGuiState.h"
#include "library/link/VBIB32.h"
#include "platform/com/ClassRegistry.h"
#include "platform/drivers/PciDriver.h"
#include "platform/drivers/UsbDriver.h"
#include "platform/kernel/Clock.h"
#include "platform/kernel/MachineLock.h"
#include "platform/kernel/OsVersion.h"
#include "platform/serial/SerialControl.h"
#include "platform/ui/MsgBox.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <algorithm>
#include <limits>

using platform::RuntimeError;

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.KVLComm"),
                                                [](QWidget* parent) { return new KVLComm(parent); });

const QString kComPortTitle = QStringLiteral("Com Port Error!");
const QString kPciDeviceMessage = QStringLiteral(
    "Device ID is unavailable.\r\nPlease choose another DeviceID.\r\nSystem will be started in Demo mode");

QByteArray ansi(const QString& text)
{
    return text.toLatin1();
}

QString fromAnsi(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

// Blanks are the space character only: CR and LF are never trimmed.
QString trimBlanks(const QString& text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

// A driver fills a C string: what follows its terminator is not part of the reply.
QString cStringReply(const char* buffer, int capacity)
{
    int n = 0;
    while (n < capacity && buffer[n] != '\0')
        ++n;
    return fromAnsi(QByteArray(buffer, n));
}

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

short fit16(int value)
{
    return static_cast<short>(std::clamp(value, int(std::numeric_limits<short>::min()),
                                         int(std::numeric_limits<short>::max())));
}

} // namespace

// Takes the machine-wide lock for the life of a member, released on every way out.
class KVLComm::LockFrame {
public:
    explicit LockFrame(KVLComm& comm) : m_lock(comm.m_lock.get())
    {
        if (m_lock)
            m_lock->acquire();
    }
    ~LockFrame()
    {
        if (m_lock)
            m_lock->release();
    }
    LockFrame(const LockFrame&) = delete;
    LockFrame& operator=(const LockFrame&) = delete;

private:
    platform::MachineLock* m_lock;
};

KVLComm::KVLComm(QWidget* parent)
    : platform::Control(parent)
{
    setObjectName(QStringLiteral("KVLComm"));
    hide(); // invisible at run time

    auto lock = std::make_unique<platform::MachineLock>(QString::fromLatin1(LockName));
    if (lock->isValid())
        m_lock = std::move(lock);

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(250);
    connect(m_timer, &QTimer::timeout, this, &KVLComm::onTick);

    m_serial = new platform::SerialControl(this);
    m_serial->setObjectName(QStringLiteral("MSComm1"));
    m_serial->setRThreshold(1);
    connect(m_serial, &platform::SerialControl::OnComm, this, &KVLComm::onSerialEvent);
}

KVLComm::~KVLComm() = default;

CGuiState* KVLComm::GetGuiStateObject()
{
    if (!m_guiState)
        m_guiState = new CGuiState(this);
    return m_guiState;
}

// ---------------------------------------------------------------------------------------------
// Exchange

int KVLComm::SendAscii(const QString& Command)
{
    LockFrame frame(*this);
    try {
        if (!m_isOpen)
            return -1;
        switch (m_busType) {
        case BUS_TYPE_NONE:
            return 0;
        case BUS_TYPE_PCI:
            return platform::kvl_send_ascii(ansi(Command).constData());
        case BUS_TYPE_GPIB:
            return gpibSendAscii(Command);
        case BUS_TYPE_RS232:
            return rs232SendAscii(Command, true);
        case BUS_TYPE_USB: {
            const QByteArray bytes = ansi(Command);
            return platform::kvl_usb_send_ascii(m_deviceId, bytes.constData(), bytes.size());
        }
        default:
            return -1;
        }
    } catch (const RuntimeError& error) {
        fail(error);
        return -1;
    }
}

QVariant KVLComm::SendAsciiNoTerm(const QString& Command)
{
    LockFrame frame(*this);
    try {
        if (!m_isOpen)
            return QVariant(int(-1));
        switch (m_busType) {
        case BUS_TYPE_NONE:
            return QVariant(int(0));
        case BUS_TYPE_PCI:
            return QVariant::fromValue<short>(platform::kvl_send_ascii(ansi(Command).constData()));
        case BUS_TYPE_GPIB:
            return QVariant(gpibSendAscii(Command));
        case BUS_TYPE_RS232:
            return QVariant(rs232SendAscii(Command, false));
        case BUS_TYPE_USB: {
            const QByteArray bytes = ansi(Command);
            return QVariant(platform::kvl_usb_send_ascii(m_deviceId, bytes.constData(), bytes.size()));
        }
        default:
            return QVariant(int(-1));
        }
    } catch (const RuntimeError& error) {
        fail(error);
        return QVariant(int(-1));
    }
}

int KVLComm::ReadAscii(QString& ReturnString)
{
    LockFrame frame(*this);
    try {
        if (!m_isOpen)
            return -1;
        ReturnString = QString(ReplyBufferLength, QLatin1Char(' '));
        switch (m_busType) {
        case BUS_TYPE_PCI: {
            QByteArray buffer(ReplyBufferLength + 1, ' ');
            buffer[ReplyBufferLength] = '\0';
            const int status = platform::kvl_read_ascii(buffer.data(), buffer.size());
            ReturnString = trimBlanks(cStringReply(buffer.constData(), buffer.size()));
            return status;
        }
        case BUS_TYPE_GPIB: {
            QString reply;
            const int status = gpibReadAscii(reply);
            ReturnString = trimBlanks(reply);
            return status;
        }
        case BUS_TYPE_RS232: {
            QString reply;
            const int status = rs232ReadAscii(reply);
            ReturnString = trimBlanks(reply);
            return status;
        }
        case BUS_TYPE_USB: {
            QByteArray buffer(ReplyBufferLength, ' ');
            int count = 0;
            const int code = platform::kvl_usb_get_ascii(m_deviceId, buffer.data(), buffer.size(), &count);
            count = std::clamp(count, 0, int(ReplyBufferLength));
            if (count <= 0) {
                ReturnString.clear();
                return -1;
            }
            ReturnString = fromAnsi(buffer.left(count));
            return code;
        }
        default:
            return -1;
        }
    } catch (const RuntimeError& error) {
        fail(error);
        return -1;
    }
}

int KVLComm::SendReadAscii(const QString& Command, QString& ReturnString)
{
    LockFrame frame(*this);
    try {
        if (!m_isOpen)
            return -1;
        ReturnString = QString(ReplyBufferLength, QLatin1Char(' '));
        int step = 0;
        switch (m_busType) {
        case BUS_TYPE_NONE:
            ReturnString.clear();
            break;
        case BUS_TYPE_PCI: {
            QByteArray buffer(ReplyBufferLength + 1, ' ');
            buffer[ReplyBufferLength] = '\0';
            step = platform::kvl_send_read_ascii(ansi(Command).constData(), buffer.data(), buffer.size());
            ReturnString = trimBlanks(cStringReply(buffer.constData(), buffer.size()));
            break;
        }
        case BUS_TYPE_GPIB: {
            QString reply;
            step = gpibSendReadAscii(Command, reply);
            ReturnString = KVLTrim(reply);
            break;
        }
        case BUS_TYPE_RS232: {
            QString reply;
            step = rs232SendReadAscii(Command, reply);
            ReturnString = trimBlanks(reply);
            break;
        }
        case BUS_TYPE_USB:
            step = usbSendReadAscii(Command, ReturnString);
            break;
        default:
            step = -1;
            break;
        }
        return step == -1 ? -1 : 0;
    } catch (const RuntimeError& error) {
        fail(error);
        return -1;
    }
}

QString KVLComm::KVLTrim(const QString& buffer) const
{
    const int lineFeed = buffer.indexOf(QLatin1Char('\n'));
    if (lineFeed >= 0)
        return buffer.left(lineFeed + 1);
    return trimBlanks(buffer);
}

// ---------------------------------------------------------------------------------------------
// Transports

int KVLComm::rs232SendAscii(const QString& command, bool addTerm)
{
    if (!m_serial->PortOpen())
        return -1;
    QByteArray bytes = ansi(command);
    if (addTerm) {
        const QString trimmed = trimBlanks(command);
        const bool terminated = !trimmed.isEmpty()
            && (trimmed.endsWith(QLatin1Char('\r')) || trimmed.endsWith(QLatin1Char('\n')));
        if (!terminated)
            bytes.append('\r');
    }
    m_serial->setOutput(bytes);
    return 0;
}

int KVLComm::rs232ReadAscii(QString& reply)
{
    const bool timerWasOn = m_timer->isActive();
    m_timer->stop();
    if (m_serial->PortOpen()) {
        // Waits on the port, not in a spin: at most one second for a line feed.
        const QDeadlineTimer deadline(1000);
        while (!m_serialReply.contains('\n')) {
            const QByteArray input = m_serial->Input();
            if (!input.isEmpty()) {
                m_serialReply.append(input);
                continue;
            }
            if (deadline.hasExpired() || !m_serial->PortOpen())
                break;
            m_serial->waitForInput(int(std::max<qint64>(1, deadline.remainingTime())));
        }
    }
    reply = fromAnsi(m_serialReply);
    m_serialReply.clear();
    if (timerWasOn)
        m_timer->start();
    return reply.isEmpty() ? -1 : 0;
}

int KVLComm::rs232SendReadAscii(const QString& command, QString& reply)
{
    const bool timerWasOn = m_timer->isActive();
    m_timer->stop();
    int status = rs232SendAscii(command, true);
    if (status == 0)
        status = rs232ReadAscii(reply);
    if (timerWasOn)
        m_timer->start();
    return status;
}

int KVLComm::gpibSendAscii(const QString& command)
{
    const QByteArray bytes = ansi(command);
    VBIB32::ibwrt(short(m_gpibDescriptor), bytes, bytes.size());
    return 0;
}

int KVLComm::gpibReadAscii(QString& reply)
{
    QByteArray buffer(ReplyBufferLength, ' ');
    VBIB32::ibrd(short(m_gpibDescriptor), buffer, buffer.size());
    reply = fromAnsi(buffer);
    return trimBlanks(reply).isEmpty() ? -1 : 0;
}

int KVLComm::gpibSendReadAscii(const QString& command, QString& reply)
{
    gpibSendAscii(command);
    platform::Clock::sleepMs(1);
    const int status = gpibReadAscii(reply);
    platform::Clock::pumpOnce();
    return status;
}

int KVLComm::usbSendReadAscii(const QString& command, QString& reply)
{
    const QByteArray bytes = ansi(command);
    int count = 0;
    QByteArray buffer(ReplyBufferLength, ' ');
    if (platform::kvl_usb_send_ascii(m_deviceId, bytes.constData(), bytes.size()) == 0)
        platform::kvl_usb_get_ascii(m_deviceId, buffer.data(), buffer.size(), &count);
    count = std::min(count, int(ReplyBufferLength));
    if (count < 1) {
        reply.clear();
        return -1;
    }
    reply = fromAnsi(buffer.left(count));
    return 0;
}

// ---------------------------------------------------------------------------------------------
// GPIB only

int KVLComm::SendAsciiGPIBLength(const QByteArray& Command, short length)
{
    try {
        // Firmware lines are binary: the count is bounded by the bytes given, never by a NUL.
        const int count = std::clamp(int(length), 0, int(Command.size()));
        VBIB32::ibwrt(short(m_gpibDescriptor), Command, count);
        return 0;
    } catch (const RuntimeError& error) {
        fail(error);
        return -1;
    }
}

int KVLComm::GPIBSerialPoll()
{
    if (!m_isOpen)
        return 0;
    try {
        short poll = 0;
        VBIB32::ibrsp(short(m_gpibDescriptor), poll);
        return poll & 0xFF;
    } catch (const RuntimeError& error) {
        fail(error);
        return 0;
    }
}

QVariant KVLComm::SetGPIBTimeout(int NewGPIBTimeout)
{
    if (m_busType != BUS_TYPE_GPIB)
        return QVariant();
    try {
        VBIB32::ibtmo(short(m_gpibDescriptor), short(NewGPIBTimeout));
    } catch (const RuntimeError& error) {
        fail(error);
    }
    return QVariant();
}

// ---------------------------------------------------------------------------------------------
// Link

int KVLComm::pciBoardStep(bool open)
{
    if (!pciBoardAvailable())
        return -1;
    // The board is chosen before it is used on every system, so DeviceID always means the board.
    platform::kvl_set_target_board(short(m_deviceId));
    if (open)
        platform::kvl_open_system();
    else
        platform::kvl_init_system();
    return 0;
}

bool KVLComm::pciBoardAvailable()
{
    const int code = osVersionCode();
    if (code != 3 && code != 4)
        return true;
    int count = 0;
    int second = 0;
    platform::kvl_get_num_boards(&count, &second);
    if (m_deviceId + 1 > count) {
        platform::MsgBox(kPciDeviceMessage, 48, QStringLiteral("PCI Device Error"));
        return false;
    }
    return true;
}

int KVLComm::gpibOpenStep(bool showMessage)
{
    m_gpibDescriptor = VBIB32::ibdev(0, short(m_deviceId), 0, 12, 1, 0);
    int r = 0;
    if (VBIB32::ibsta & VBIB32::ERR) {
        r = -1;
        if (showMessage)
            platform::MsgBox(QStringLiteral("Unable to Open the Specified GPIB Device"), 16,
                             QStringLiteral("GPIB Device Open Error"));
    }
    VBIB32::ibclr(short(m_gpibDescriptor));
    return r;
}

void KVLComm::openSerialPort()
{
    if (!m_serial->PortOpen())
        m_serial->setPortOpen(true);
}

// Demo mode after a failed start: the serial port is let go and old text is dropped, so neither
// the port stays held nor a stale reply is handed to the next reader.
void KVLComm::enterDemoMode()
{
    try {
        if (m_serial->PortOpen())
            m_serial->setPortOpen(false);
    } catch (const RuntimeError&) {
    }
    m_serialReply.clear();
    m_isOpen = true;
    setBusType(BUS_TYPE_NONE);
}

// A serial port that does not exist or is in use starts the control in demo mode with a message;
// returns false for every other failure.
bool KVLComm::serialPortRefused(const RuntimeError& error)
{
    QString first;
    if (error.Number == RuntimeError::InvalidPort)
        first = QStringLiteral("An Invalid communications port has been selected");
    else if (error.Number == RuntimeError::PortAlreadyOpen)
        first = QStringLiteral("This communications port is already in use.");
    else
        return false;
    platform::MsgBox(first + QStringLiteral("\r\nPlease choose another port.\r\nThe system will start in Demo Mode."),
                     48, kComPortTitle);
    enterDemoMode();
    return true;
}

int KVLComm::KVLInit()
{
    LockFrame frame(*this);
    try {
        int r = 0;
        switch (m_busType) {
        case BUS_TYPE_NONE: r = 0; break;
        case BUS_TYPE_PCI: r = pciBoardStep(false); break;
        case BUS_TYPE_GPIB: r = gpibOpenStep(false); break;
        case BUS_TYPE_RS232: openSerialPort(); r = 0; break;
        case BUS_TYPE_USB: r = platform::kvl_usb_init_system(); break;
        default: r = -1; break;
        }

        if (m_busType == BUS_TYPE_NONE) {
            m_isOpen = true;
            return 0;
        }
        if (r != 0) {
            enterDemoMode();
            return 0;
        }
        m_isOpen = true;
        QString reply;
        const short status = short(SendReadAscii(QStringLiteral("VE?\r\n"), reply));
        if (!m_isOpen) // the identification itself broke the link; HandleError has reported it
            return -1;
        const bool accepted = (reply.left(3) == QLatin1String("KVL") && m_busType == BUS_TYPE_PCI) || status == 0;
        if (accepted)
            return 0;
        enterDemoMode();
        return -1;
    } catch (const RuntimeError& error) {
        if (serialPortRefused(error))
            return 0;
        fail(error);
        return -1;
    }
}

int KVLComm::KVLOpen()
{
    LockFrame frame(*this);
    try {
        int r = -1;
        switch (m_busType) {
        case BUS_TYPE_PCI:
            if (pciBoardStep(true) != 0)
                setBusType(BUS_TYPE_NONE);
            r = 0;
            break;
        case BUS_TYPE_GPIB:
            r = gpibOpenStep(true);
            break;
        case BUS_TYPE_RS232:
            openSerialPort();
            r = 0;
            break;
        case BUS_TYPE_USB:
            r = platform::kvl_usb_init_system();
            if (r != 0)
                platform::MsgBox(QStringLiteral("Unable to Open the Specified USB Device"), 16,
                                 QStringLiteral("USB Device Open Error"));
            break;
        default:
            r = -1;
            break;
        }
        m_isOpen = (r == 0);
        return r;
    } catch (const RuntimeError& error) {
        if (serialPortRefused(error))
            return 0;
        fail(error);
        return -1;
    }
}

int KVLComm::KVLClose()
{
    LockFrame frame(*this);
    try {
        return closeLink();
    } catch (const RuntimeError& error) {
        m_isOpen = false;
        fail(error);
        return -1;
    }
}

int KVLComm::closeLink()
{
    int r = 0;
    switch (m_busType) {
    case BUS_TYPE_PCI:
    case BUS_TYPE_GPIB:
    case BUS_TYPE_USB:
        r = 0;
        break;
    case BUS_TYPE_RS232:
        m_isOpen = false;
        if (m_serial->PortOpen()) {
            m_serial->setOutBufferCount(0);
            if (m_serial->InBufferCount() >= 1)
                m_serial->Input();
            m_serial->setPortOpen(false);
        }
        r = 0;
        break;
    default:
        r = -1;
        break;
    }
    m_isOpen = false;
    return r;
}

BUS_TYPE KVLComm::BusType()
{
    LockFrame frame(*this);
    return static_cast<BUS_TYPE>(m_busType);
}

void KVLComm::setBusType(int value)
{
    LockFrame frame(*this);
    m_busType = value;
    emit PropertyChanged(QStringLiteral("BusType"));
}

int KVLComm::DeviceID()
{
    LockFrame frame(*this);
    if (m_deviceId < 0)
        m_deviceId = 0;
    return m_deviceId;
}

void KVLComm::setDeviceID(int value)
{
    LockFrame frame(*this);
    m_deviceId = std::max(0, value);
    emit PropertyChanged(QStringLiteral("DeviceID"));
}

// ---------------------------------------------------------------------------------------------
// Failure handling

void KVLComm::fail(const RuntimeError& error)
{
    RuntimeError copy = error;
    HandleError(copy);
}

int KVLComm::HandleError(RuntimeError& ThisError)
{
    // One failure is reported once: a poller or button that hits the dead link while the box is
    // open changes the state the same way but shows nothing and raises nothing.
    const bool first = !m_reportingFailure;
    m_reportingFailure = true;
    const short number = fit16(ThisError.Number);
    if (first)
        platform::MsgBox(QStringLiteral("Error %1 %2 %3").arg(ThisError.Number).arg(ThisError.Description, ThisError.Source), 0);
    m_timer->stop();
    try {
        closeLink();
    } catch (const RuntimeError&) {
        m_isOpen = false; // the port is gone already
    }
    setBusType(BUS_TYPE_NONE);
    if (first) {
        short reported = number;
        emit CommErrorEvent(reported);
        m_reportingFailure = false;
    }
    ThisError.Clear();
    return -2;
}

// ---------------------------------------------------------------------------------------------
// Timer and serial events

bool KVLComm::TimerEnabled() const
{
    return m_timer->isActive();
}

void KVLComm::setTimerEnabled(bool enabled)
{
    if (enabled)
        m_timer->start();
    else
        m_timer->stop();
    emit PropertyChanged(QStringLiteral("TimerEnabled"));
}

int KVLComm::Interval() const
{
    return m_timer->interval();
}

void KVLComm::setInterval(int ms)
{
    m_timer->setInterval(ms);
    emit PropertyChanged(QStringLiteral("Interval"));
}

void KVLComm::onTick()
{
    platform::Clock::pumpOnce();
    emit Timer();
    platform::Clock::pumpOnce();
}

void KVLComm::onSerialEvent()
{
    try {
        if (m_serial->CommEvent() != platform::SerialControl::comEvReceive)
            return;
        const int waiting = m_serial->InBufferCount();
        if (m_commEventEnabled) {
            QString data = fromAnsi(m_serial->Input());
            emit CommEvent(data);
            return;
        }
        for (int i = 0; i < waiting; ++i)
            m_serialReply.append(m_serial->Input());
    } catch (const RuntimeError& error) {
        fail(error);
    }
}

void KVLComm::setCommPort(short port)
{
    LockFrame frame(*this);
    m_commPort = port;
    try {
        m_serial->setCommPort(port);
    } catch (const RuntimeError& error) {
        fail(error);
    }
    emit PropertyChanged(QStringLiteral("CommPort"));
}

QString KVLComm::Settings() const
{
    return m_serial->Settings();
}

void KVLComm::setSettings(const QString& settings)
{
    m_serial->setSettings(settings);
    emit PropertyChanged(QStringLiteral("Settings"));
}

// ---------------------------------------------------------------------------------------------
// Persisted properties

void KVLComm::InitProperties()
{
    m_isOpen = false;
    m_busType = BUS_TYPE_NONE;
    m_deviceId = 0;
}

void KVLComm::ReadProperties(const platform::PropertyBag& bag)
{
    m_busType = bag.ReadProperty(QStringLiteral("BusType"), 0).toInt();
    m_deviceId = bag.ReadProperty(QStringLiteral("DeviceID"), 0).toInt();
    m_commPort = short(bag.ReadProperty(QStringLiteral("CommPort"), 1).toInt());
    // The serial layer follows the saved port, so the first open uses it.
    try {
        m_serial->setCommPort(m_commPort);
    } catch (const RuntimeError& error) {
        fail(error);
    }
}

void KVLComm::WriteProperties(platform::PropertyBag& bag) const
{
    bag.WriteProperty(QStringLiteral("BusType"), m_busType, 0);
    bag.WriteProperty(QStringLiteral("DeviceID"), m_deviceId, 0);
    bag.WriteProperty(QStringLiteral("CommPort"), int(m_commPort), 1);
}

// ---------------------------------------------------------------------------------------------
// Late-bound access: the default interface in slot order.

namespace {

RuntimeError errorFromVariant(const QVariant& v)
{
    const QVariantMap m = v.toMap();
    return RuntimeError(m.value(QStringLiteral("Number")).toInt(), m.value(QStringLiteral("Description")).toString(),
                        m.value(QStringLiteral("Source")).toString());
}

QVariant errorToVariant(const RuntimeError& e)
{
    return QVariantMap{{QStringLiteral("Number"), e.Number},
                       {QStringLiteral("Description"), e.Description},
                       {QStringLiteral("Source"), e.Source}};
}

platform::DispatchTable buildCommTable()
{
    using platform::DispatchTable;
    DispatchTable t(QStringLiteral("_KVLComm"));
    t.method<KVLComm>(QStringLiteral("StoreCurrentAxisState"), 0x60030042, [](KVLComm& c, QVariantList&) {
        c.StoreCurrentAxisState();
        return QVariant();
    });
    t.method<KVLComm>(QStringLiteral("RestoreOldAxisState"), 0x60030043, [](KVLComm& c, QVariantList&) {
        c.RestoreOldAxisState();
        return QVariant();
    });
    t.method<KVLComm>(QStringLiteral("GetGuiStateObject"), 0x60030044, [](KVLComm& c, QVariantList&) {
        return QVariant::fromValue<QObject*>(c.GetGuiStateObject());
    });
    t.method<KVLComm>(QStringLiteral("HandleError"), 0x60030046, [](KVLComm& c, QVariantList& a) {
        RuntimeError e = errorFromVariant(a.value(0));
        const int r = c.HandleError(e);
        if (!a.isEmpty())
            a[0] = errorToVariant(e);
        return QVariant(r);
    });
    t.get<KVLComm>(QStringLiteral("IsOpen"), 0x68030040, [](KVLComm& c, QVariantList&) { return QVariant(c.IsOpen()); });
    t.method<KVLComm>(QStringLiteral("SendAscii"), 0x6003004A, [](KVLComm& c, QVariantList& a) {
        return QVariant(c.SendAscii(a.value(0).toString()));
    });
    t.method<KVLComm>(QStringLiteral("ReadAscii"), 0x6003004B, [](KVLComm& c, QVariantList& a) {
        QString reply = a.value(0).toString();
        const int r = c.ReadAscii(reply);
        if (a.isEmpty())
            a.append(QVariant());
        a[0] = reply;
        return QVariant(r);
    });
    t.method<KVLComm>(QStringLiteral("KVLTrim"), 0x6003004C, [](KVLComm& c, QVariantList& a) {
        return QVariant(c.KVLTrim(a.value(0).toString()));
    });
    t.method<KVLComm>(QStringLiteral("SendReadAscii"), 0x6003004D, [](KVLComm& c, QVariantList& a) {
        QString reply = a.value(1).toString();
        const int r = c.SendReadAscii(a.value(0).toString(), reply);
        while (a.size() < 2)
            a.append(QVariant());
        a[1] = reply;
        return QVariant(r);
    });
    t.method<KVLComm>(QStringLiteral("SendAsciiNoTerm"), 0x6003004E, [](KVLComm& c, QVariantList& a) {
        return c.SendAsciiNoTerm(a.value(0).toString());
    });
    t.method<KVLComm>(QStringLiteral("KVLInit"), 0x6003004F, [](KVLComm& c, QVariantList&) { return QVariant(c.KVLInit()); });
    t.method<KVLComm>(QStringLiteral("KVLOpen"), 0x60030050, [](KVLComm& c, QVariantList&) { return QVariant(c.KVLOpen()); });
    t.get<KVLComm>(QStringLiteral("BusType"), 0x6803003F, [](KVLComm& c, QVariantList&) { return QVariant(int(c.BusType())); });
    t.put<KVLComm>(QStringLiteral("BusType"), 0x6803003F, [](KVLComm& c, QVariantList& a) {
        c.setBusType(a.value(0).toInt());
        return QVariant();
    });
    t.method<KVLComm>(QStringLiteral("KVLClose"), 0x60030051, [](KVLComm& c, QVariantList&) { return QVariant(c.KVLClose()); });
    t.get<KVLComm>(QStringLiteral("DeviceID"), 0x6803003E, [](KVLComm& c, QVariantList&) { return QVariant(c.DeviceID()); });
    t.put<KVLComm>(QStringLiteral("DeviceID"), 0x6803003E, [](KVLComm& c, QVariantList& a) {
        c.setDeviceID(a.value(0).toInt());
        return QVariant();
    });
    t.method<KVLComm>(QStringLiteral("SendAsciiGPIBLength"), 0x6003005A, [](KVLComm& c, QVariantList& a) {
        const QVariant command = a.value(0);
        const QByteArray bytes = command.typeId() == QMetaType::QByteArray ? command.toByteArray()
                                                                           : command.toString().toLatin1();
        return QVariant(c.SendAsciiGPIBLength(bytes, short(a.value(1).toInt())));
    });
    t.method<KVLComm>(QStringLiteral("GPIBSerialPoll"), 0x6003005E, [](KVLComm& c, QVariantList&) { return QVariant(c.GPIBSerialPoll()); });
    t.get<KVLComm>(QStringLiteral("TimerEnabled"), 0x6803003D, [](KVLComm& c, QVariantList&) { return QVariant(c.TimerEnabled()); });
    t.put<KVLComm>(QStringLiteral("TimerEnabled"), 0x6803003D, [](KVLComm& c, QVariantList& a) {
        c.setTimerEnabled(a.value(0).toBool());
        return QVariant();
    });
    t.get<KVLComm>(QStringLiteral("Interval"), 0x6803003C, [](KVLComm& c, QVariantList&) { return QVariant(c.Interval()); });
    t.put<KVLComm>(QStringLiteral("Interval"), 0x6803003C, [](KVLComm& c, QVariantList& a) {
        c.setInterval(a.value(0).toInt());
        return QVariant();
    });
    // This pair has its setter first.
    t.put<KVLComm>(QStringLiteral("CommEventEnabled"), 0x68030003, [](KVLComm& c, QVariantList& a) {
        c.setCommEventEnabled(a.value(0).toBool());
        return QVariant();
    });
    t.get<KVLComm>(QStringLiteral("CommEventEnabled"), 0x68030003, [](KVLComm& c, QVariantList&) { return QVariant(c.CommEventEnabled()); });
    t.get<KVLComm>(QStringLiteral("CommPort"), 0x68030002, [](KVLComm& c, QVariantList&) { return QVariant::fromValue<short>(c.CommPort()); });
    t.put<KVLComm>(QStringLiteral("CommPort"), 0x68030002, [](KVLComm& c, QVariantList& a) {
        c.setCommPort(short(a.value(0).toInt()));
        return QVariant();
    });
    t.get<KVLComm>(QStringLiteral("Settings"), 0x68030001, [](KVLComm& c, QVariantList&) { return QVariant(c.Settings()); });
    t.put<KVLComm>(QStringLiteral("Settings"), 0x68030001, [](KVLComm& c, QVariantList& a) {
        c.setSettings(a.value(0).toString());
        return QVariant();
    });
    t.get<KVLComm>(QStringLiteral("RS232CommControl"), 0x68030000, [](KVLComm& c, QVariantList&) {
        return QVariant::fromValue<QObject*>(c.RS232CommControl());
    });
    t.method<KVLComm>(QStringLiteral("IsAnotherDeviceAtGPIB1"), 0x6003006A, [](KVLComm& c, QVariantList&) {
        return QVariant(c.IsAnotherDeviceAtGPIB1());
    });
    t.method<KVLComm>(QStringLiteral("SetGPIBTimeout"), 0x6003006B, [](KVLComm& c, QVariantList& a) {
        return c.SetGPIBTimeout(a.value(0).toInt());
    });
    return t;
}

} // namespace

const platform::DispatchTable* KVLComm::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable commTable = buildCommTable();
    if (interfaceName.isEmpty() || interfaceName.compare(commTable.interfaceName(), Qt::CaseInsensitive) == 0)
        return &commTable;
    const platform::DispatchTable& motion = IMotion::motionDispatchTable();
    if (interfaceName.compare(motion.interfaceName(), Qt::CaseInsensitive) == 0)
        return &motion;
    return nullptr;
}

QVector<QPair<int, QString>> KVLComm::eventTable() const
{
    return {{1, QStringLiteral("Timer")}, {2, QStringLiteral("CommEvent")}, {3, QStringLiteral("CommErrorEvent")}};
}
