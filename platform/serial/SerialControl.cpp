#include "platform/serial/SerialControl.h"

#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"

#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSerialPort>
#include <QSet>

#include <algorithm>
#include <climits>

namespace platform {

namespace {

// Speed, parity letter, data bits and stop bits as the settings text gives them.
struct Framing {
    qint32 baud = 9600;
    char parity = 'n';
    int dataBits = 8;
    QString stopBits = QStringLiteral("1");
};

// Blanks only: the settings text never carries tabs or line ends worth keeping.
QString trimBlanks(const QString& text)
{
    int from = 0;
    int to = int(text.size());
    while (from < to && text.at(from) == QLatin1Char(' '))
        ++from;
    while (to > from && text.at(to - 1) == QLatin1Char(' '))
        --to;
    return text.mid(from, to - from);
}

bool parseFraming(const QString& text, Framing& out)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        return false;
    const QString baud = trimBlanks(fields[0]);
    const QString parity = trimBlanks(fields[1]).toLower();
    const QString data = trimBlanks(fields[2]);
    const QString stop = trimBlanks(fields[3]);

    if (baud.isEmpty() || baud.size() > 9)
        return false;
    for (const QChar c : baud) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    Framing f;
    f.baud = baud.toInt();
    if (f.baud < 1)
        return false;

    if (parity.size() != 1 || !QStringLiteral("neoms").contains(parity))
        return false;
    f.parity = parity.at(0).toLatin1();

    if (data.size() != 1 || data.at(0) < QLatin1Char('4') || data.at(0) > QLatin1Char('8'))
        return false;
    f.dataBits = data.at(0).digitValue();

    if (stop != QLatin1String("1") && stop != QLatin1String("1.5") && stop != QLatin1String("2"))
        return false;
    f.stopBits = stop;

    out = f;
    return true;
}

QString formatFraming(const Framing& f)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(f.baud)
        .arg(QLatin1Char(f.parity))
        .arg(f.dataBits)
        .arg(f.stopBits);
}

// No driver frames 4-bit characters.
bool driverFrames(const Framing& f)
{
    return f.dataBits >= 5;
}

QSerialPort::FlowControl flowControlFor(short handshaking)
{
    switch (handshaking) {
    case SerialControl::comXOnXoff: return QSerialPort::SoftwareControl;
    // The driver cannot run both at once; RTS/CTS is the one that protects the data.
    case SerialControl::comRTS:
    case SerialControl::comRTSXOnXOff: return QSerialPort::HardwareControl;
    default: return QSerialPort::NoFlowControl;
    }
}

// Devices held open by any SerialControl of this process. The driver's lock file covers other
// processes; this covers us even where no lock directory is writable.
QMutex& registryMutex()
{
    static QMutex mutex;
    return mutex;
}

QSet<QString>& openDevices()
{
    static QSet<QString> devices;
    return devices;
}

// Slices of the wait for room in the device's buffer: the limit is checked at least this often.
constexpr int kOutputSliceMs = 100;
// How long a write may wait for the device to take it beyond the time the line needs to carry it
// and what the device holds ahead of it. A line still held up after that is given up on.
constexpr int kOutputGraceMs = 5000;
// What a device's own transmit buffer holds ahead of our bytes (a UART driver's page); a
// pseudo-terminal holds more but takes more as soon as its reader takes any.
constexpr qint64 kDeviceBufferBytes = 4096;

[[noreturn]] void raiseError(int number)
{
    throw RuntimeError::standard(number);
}

} // namespace

struct SerialControl::Impl {
    SerialControl* q = nullptr;
    QSerialPort* port = nullptr;
    QString deviceKey;

    short commPort = 1;
    Framing framing;
    short inputLen = 0;
    short handshaking = comNone;
    short rThreshold = 0;
    bool dtr = true;
    bool rts = true;
    int inBufferSize = 1024;
    int outBufferSize = 512;
    short commEvent = 0;

    // A reader is blocked on the port (or polling it): what arrives is its to take, not an event.
    bool readerWaiting = false;
    // Errors raised while we configure the device are answered by return values, not taken as the
    // device going away (a pseudo-terminal, for one, has no modem lines to set).
    bool configuring = false;
    // The device reported a read, write or resource error: it is gone; the port closes at the
    // next chance.
    bool vanished = false;
    quint64 session = 0;

    bool applyFraming(QSerialPort* p, const Framing& f, short flow)
    {
        // Refusing is better than sending other framing.
        if (!driverFrames(f))
            return false;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        switch (f.parity) {
        case 'e': parity = QSerialPort::EvenParity; break;
        case 'o': parity = QSerialPort::OddParity; break;
        case 'm': parity = QSerialPort::MarkParity; break;
        case 's': parity = QSerialPort::SpaceParity; break;
        default: break;
        }
        // The driver knows one or two stop bits; with 5-bit characters the two-stop setting is
        // what a UART sends as one and a half, and a longer stop never hurts the receiver.
        const QSerialPort::StopBits stop =
            f.stopBits == QLatin1String("1") ? QSerialPort::OneStop : QSerialPort::TwoStop;
        return p->setBaudRate(f.baud) && p->setDataBits(QSerialPort::DataBits(f.dataBits))
            && p->setParity(parity) && p->setStopBits(stop)
            && p->setFlowControl(flowControlFor(flow));
    }

    void applyLineSignals(QSerialPort* p)
    {
        // Devices without modem lines refuse these; the data path does not depend on them.
        p->setDataTerminalReady(dtr);
        if (p->flowControl() != QSerialPort::HardwareControl)
            p->setRequestToSend(rts);
    }

    void open()
    {
        const QString path = devicePath(commPort);
        if (path.isEmpty())
            raiseError(RuntimeError::InvalidPort);
        const QFileInfo info(path);
        if (!info.exists())
            raiseError(RuntimeError::InvalidPort);
        const QString key = info.canonicalFilePath().isEmpty() ? path : info.canonicalFilePath();
        {
            QMutexLocker lock(&registryMutex());
            if (openDevices().contains(key))
                raiseError(RuntimeError::PortAlreadyOpen);
        }

        auto* p = new QSerialPort(q);
        p->setPortName(path);
        if (!p->open(QIODevice::ReadWrite)) {
            const QSerialPort::SerialPortError error = p->error();
            delete p;
            // The lock file or exclusive access of another holder shows as a permission error.
            if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError)
                raiseError(RuntimeError::PortAlreadyOpen);
            raiseError(RuntimeError::InvalidPort);
        }
        if (!applyFraming(p, framing, handshaking)) {
            p->close();
            delete p;
            raiseError(RuntimeError::InvalidPropertyValue);
        }
        applyLineSignals(p);
        p->clearError();

        {
            QMutexLocker lock(&registryMutex());
            openDevices().insert(key);
        }
        deviceKey = key;
        port = p;
        vanished = false;
        ++session;
        QObject::connect(p, &QSerialPort::readyRead, q, [this] { onReadyRead(); });
        QObject::connect(p, &QSerialPort::errorOccurred, q,
                         [this](QSerialPort::SerialPortError e) { onError(e); });
    }

    void close()
    {
        if (!port)
            return;
        QSerialPort* p = port;
        port = nullptr;
        vanished = false;
        QObject::disconnect(p, nullptr, q, nullptr);
        p->close();
        // We may be inside one of the port's own signals (a receive handler that closes).
        p->deleteLater();
        QMutexLocker lock(&registryMutex());
        openDevices().remove(deviceKey);
        deviceKey.clear();
    }

    // Every member that touches the port first lets go of a device that has gone.
    void settle()
    {
        if (port && vanished)
            close();
    }

    // Takes in what the device holds without waiting, so a reader that does not run the event
    // loop still sees what has arrived.
    void pull()
    {
        settle();
        if (!port)
            return;
        const bool was = readerWaiting;
        readerWaiting = true;
        port->waitForReadyRead(0);
        readerWaiting = was;
        settle();
    }

    void onReadyRead()
    {
        if (readerWaiting || !port || vanished || rThreshold < 1)
            return;
        // A reader may already have taken what this notice was about.
        if (port->bytesAvailable() < rThreshold)
            return;
        commEvent = comEvReceive;
        emit q->OnComm();
    }

    void onError(QSerialPort::SerialPortError error)
    {
        if (configuring || !port || vanished)
            return;
        if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError
            && error != QSerialPort::WriteError)
            return;
        // A pseudo-terminal whose other end closed reports a read error again on every pass of
        // the event loop until the port is closed; close it as soon as we are out of the driver.
        vanished = true;
        const quint64 s = session;
        QMetaObject::invokeMethod(q, [this, s] {
            if (port && session == s)
                settle();
        }, Qt::QueuedConnection);
    }

    // The longest a write of `pending` bytes may wait: the line's time for them and for a full
    // device buffer ahead of them, at 10 bit-times a character, plus a grace.
    qint64 outputLimitMs(qint64 pending) const
    {
        return kOutputGraceMs + (pending + kDeviceBufferBytes) * 10 * 1000 / framing.baud;
    }

    // Hands written bytes to the device until no more than outBufferSize wait with us. A device
    // whose buffer is full is waited for on the port: Qt's flush() writes into a full buffer
    // and reports its EAGAIN as a ResourceError, the same error as a device that has gone, while
    // waitForBytesWritten writes only what the port says it can take. False when the limit
    // passed first.
    bool handOver()
    {
        const qint64 before = port->bytesAvailable();
        const qint64 deadline = Clock::tickMs() + outputLimitMs(port->bytesToWrite());
        bool inTime = true;
        {
            // Input read while we wait is a reader's to take, or a receive event's after the wait.
            const bool was = readerWaiting;
            readerWaiting = true;
            port->waitForBytesWritten(0);
            while (port && !vanished && port->bytesToWrite() > outBufferSize) {
                const qint64 left = deadline - Clock::tickMs();
                if (left <= 0) {
                    inTime = false;
                    break;
                }
                Clock::blockFor(int(std::min<qint64>(left, kOutputSliceMs)),
                                [this](int ms) { port->waitForBytesWritten(ms); });
            }
            readerWaiting = was;
        }
        if (port && !vanished && !readerWaiting && port->bytesAvailable() > before) {
            const quint64 s = session;
            QMetaObject::invokeMethod(q, [this, s] {
                if (port && session == s)
                    onReadyRead();
            }, Qt::QueuedConnection);
        }
        return inTime;
    }

    struct Configuring {
        explicit Configuring(Impl& impl) : d(impl), was(impl.configuring) { d.configuring = true; }
        ~Configuring() { d.configuring = was; }
        Impl& d;
        bool was;
    };
};

SerialControl::SerialControl(QObject* parent) : QObject(parent), d(new Impl)
{
    d->q = this;
}

SerialControl::~SerialControl()
{
    d->close();
    delete d;
}

QString SerialControl::devicePath(short port)
{
    if (port < 1)
        return QString();
    const QString fromEnvironment = qEnvironmentVariable(qPrintable(QStringLiteral("KVL_COM%1").arg(port)));
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

short SerialControl::CommPort() const
{
    return d->commPort;
}

void SerialControl::setCommPort(short port)
{
    d->settle();
    if (d->port)
        raiseError(RuntimeError::PortAlreadyOpen);
    if (port < 1)
        raiseError(RuntimeError::InvalidPort);
    d->commPort = port;
}

QString SerialControl::Settings() const
{
    return formatFraming(d->framing);
}

double SerialControl::charactersPerMs() const
{
    return d->framing.baud / 10.0 / 1000.0;
}

bool SerialControl::framingUsable(const QString& settings)
{
    Framing f;
    return parseFraming(settings, f) && driverFrames(f);
}

void SerialControl::setSettings(const QString& settings)
{
    Framing f;
    if (!parseFraming(settings, f))
        raiseError(RuntimeError::InvalidPropertyValue);
    d->settle();
    if (d->port) {
        Impl::Configuring guard(*d);
        if (!d->applyFraming(d->port, f, d->handshaking)) {
            d->applyFraming(d->port, d->framing, d->handshaking);
            d->port->clearError();
            raiseError(RuntimeError::InvalidPropertyValue);
        }
        d->port->clearError();
    }
    d->framing = f;
}

bool SerialControl::PortOpen() const
{
    d->settle();
    return d->port != nullptr;
}

void SerialControl::setPortOpen(bool open)
{
    d->settle();
    if (!open) {
        d->close();
        return;
    }
    if (d->port)
        raiseError(RuntimeError::PortAlreadyOpen);
    Impl::Configuring guard(*d);
    d->open();
}

void SerialControl::setOutput(const QByteArray& bytes)
{
    d->settle();
    if (!d->port)
        raiseError(RuntimeError::PortNotOpen);
    d->port->write(bytes);
    // Hand the bytes to the device now, not at the next pass of the event loop: a reader that
    // waits for the reply must not wait on its own command.
    if (!d->handOver())
        d->vanished = true;
    if (d->vanished) {
        d->close();
        raiseError(RuntimeError::PortNotOpen);
    }
}

QByteArray SerialControl::Input()
{
    // What the port already holds is handed over without asking the device again.
    d->settle();
    if (d->port && d->port->bytesAvailable() == 0)
        d->pull();
    if (!d->port)
        raiseError(RuntimeError::PortNotOpen);
    return d->inputLen > 0 ? d->port->read(d->inputLen) : d->port->readAll();
}

int SerialControl::InBufferCount() const
{
    d->pull();
    return d->port ? int(qMin<qint64>(d->port->bytesAvailable(), INT_MAX)) : 0;
}

void SerialControl::setInBufferCount(int count)
{
    if (count != 0)
        raiseError(RuntimeError::InvalidPropertyValue);
    d->settle();
    if (d->port)
        d->port->clear(QSerialPort::Input);
}

int SerialControl::OutBufferCount() const
{
    d->settle();
    return d->port ? int(qMin<qint64>(d->port->bytesToWrite(), INT_MAX)) : 0;
}

void SerialControl::setOutBufferCount(int count)
{
    if (count != 0)
        raiseError(RuntimeError::InvalidPropertyValue);
    d->settle();
    if (d->port)
        d->port->clear(QSerialPort::Output);
}

short SerialControl::CommEvent() const
{
    return d->commEvent;
}

short SerialControl::InputLen() const
{
    return d->inputLen;
}

void SerialControl::setInputLen(short len)
{
    if (len < 0)
        raiseError(RuntimeError::InvalidPropertyValue);
    d->inputLen = len;
}

short SerialControl::Handshaking() const
{
    return d->handshaking;
}

void SerialControl::setHandshaking(short mode)
{
    if (mode < comNone || mode > comRTSXOnXOff)
        raiseError(RuntimeError::InvalidPropertyValue);
    d->settle();
    if (d->port) {
        Impl::Configuring guard(*d);
        const bool ok = d->port->setFlowControl(flowControlFor(mode));
        // Leaving RTS/CTS hands the RTS line back to us.
        if (ok)
            d->applyLineSignals(d->port);
        d->port->clearError();
        if (!ok)
            raiseError(RuntimeError::InvalidPropertyValue);
    }
    d->handshaking = mode;
}

short SerialControl::RThreshold() const
{
    return d->rThreshold;
}

void SerialControl::setRThreshold(short bytes)
{
    if (bytes < 0)
        raiseError(RuntimeError::InvalidPropertyValue);
    d->rThreshold = bytes;
}

bool SerialControl::DTREnable() const
{
    return d->dtr;
}

void SerialControl::setDTREnable(bool on)
{
    d->dtr = on;
    d->settle();
    if (d->port) {
        Impl::Configuring guard(*d);
        d->port->setDataTerminalReady(on);
        d->port->clearError();
    }
}

bool SerialControl::RTSEnable() const
{
    return d->rts;
}

void SerialControl::setRTSEnable(bool on)
{
    d->rts = on;
    d->settle();
    if (d->port && d->port->flowControl() != QSerialPort::HardwareControl) {
        Impl::Configuring guard(*d);
        d->port->setRequestToSend(on);
        d->port->clearError();
    }
}

int SerialControl::InBufferSize() const
{
    return d->inBufferSize;
}

void SerialControl::setInBufferSize(int bytes)
{
    if (bytes < 1)
        raiseError(RuntimeError::InvalidPropertyValue);
    d->inBufferSize = bytes;
}

int SerialControl::OutBufferSize() const
{
    return d->outBufferSize;
}

void SerialControl::setOutBufferSize(int bytes)
{
    if (bytes < 1)
        raiseError(RuntimeError::InvalidPropertyValue);
    d->outBufferSize = bytes;
}

bool SerialControl::waitForInput(int msecs)
{
    d->settle();
    if (!d->port)
        raiseError(RuntimeError::PortNotOpen);
    if (d->port->bytesAvailable() > 0)
        return true;
    const bool was = d->readerWaiting;
    d->readerWaiting = true;
    d->port->waitForReadyRead(qMax(0, msecs));
    d->readerWaiting = was;
    d->settle();
    return d->port && d->port->bytesAvailable() > 0;
}

} // namespace platform
