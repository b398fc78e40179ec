#include "library/link/KVLComm.h"

#include "library/link/CGuiState.h"
#include "library/link/DemoTransport.h"
#include "library/link/GpibTransport.h"
#include "library/link/PciTransport.h"
#include "library/link/Rs232Transport.h"
#include "library/link/UsbTransport.h"
#include "platform/EventBoundary.h"
#include "platform/com/ClassRegistry.h"
#include "platform/kernel/Clock.h"
#include "platform/kernel/MachineLock.h"
#include "platform/serial/SerialControl.h"
#include "platform/ui/MsgBox.h"

#include <QAbstractEventDispatcher>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <utility>

using platform::RuntimeError;

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.KVLComm"),
                                                [](QWidget* parent) { return new KVLComm(parent); });

const QString kComPortTitle = QStringLiteral("Com Port Error!");

QByteArray ansi(const QString& text)
{
    return text.toLatin1();
}

short fit16(int value)
{
    return static_cast<short>(std::clamp(value, int(std::numeric_limits<short>::min()),
                                         int(std::numeric_limits<short>::max())));
}

// Clears a flag on every way out, an exception from an event handler included.
class FlagReset {
public:
    explicit FlagReset(bool& flag) : m_flag(flag) {}
    ~FlagReset() { m_flag = false; }
    FlagReset(const FlagReset&) = delete;
    FlagReset& operator=(const FlagReset&) = delete;

private:
    bool& m_flag;
};

} // namespace

// Takes the machine-wide lock for the life of a member, released on every way out. A take that
// another process keeps waiting past LockLimitMs fails: the member ends with -1. From then on the
// lock is only tried, not waited for, until it is found free again: one wait and one box for a
// busy spell, not one per member. Boxes and events the member left for later run once the
// outermost frame has let the lock go.
class KVLComm::LockFrame {
public:
    explicit LockFrame(KVLComm& comm) : m_comm(comm)
    {
        if (comm.m_lock) {
            m_taken = comm.m_lockBusy ? comm.m_lock->tryAcquire() : comm.m_lock->acquireFor(LockLimitMs);
            if (!m_taken) {
                comm.reportLockTimeout();
                return;
            }
            comm.m_lockBusy = false;
        }
        m_held = true;
        ++comm.m_frameDepth;
    }
    ~LockFrame()
    {
        if (!m_held)
            return;
        --m_comm.m_frameDepth;
        if (m_taken)
            m_comm.m_lock->release();
        if (m_comm.m_frameDepth == 0)
            m_comm.runAfterUnlock();
    }
    LockFrame(const LockFrame&) = delete;
    LockFrame& operator=(const LockFrame&) = delete;

    // False when the lock could not be had: the member does nothing and fails.
    bool held() const { return m_held; }

private:
    KVLComm& m_comm;
    bool m_taken = false;
    bool m_held = false;
};

KVLComm::KVLComm(QWidget* parent)
    : platform::Control(parent), m_hold(TickBurstLimitMs, LinkTransport::ReplyLimitMs)
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
    // Each time events run the program's next go begins.
    if (QAbstractEventDispatcher* events = QAbstractEventDispatcher::instance(thread()))
        connect(events, &QAbstractEventDispatcher::awake, this, [this] { m_hold.eventsRan(); });

    m_serial = new platform::SerialControl(this);
    m_serial->setObjectName(QStringLiteral("MSComm1"));
    m_serial->setRThreshold(1);
    connect(m_serial, &platform::SerialControl::OnComm, this, &KVLComm::onSerialEvent);

    m_demo = std::make_unique<DemoTransport>();
    m_pci = std::make_unique<PciTransport>();
    m_gpib = std::make_unique<GpibTransport>();
    m_rs232 = std::make_unique<Rs232Transport>(m_serial, m_timer);
    m_usb = std::make_unique<UsbTransport>();
    const auto boxes = [this](const QString& prompt, int style, const QString& title) { showBox(prompt, style, title); };
    for (LinkTransport* t : std::initializer_list<LinkTransport*>{m_demo.get(), m_pci.get(), m_gpib.get(), m_rs232.get(), m_usb.get()})
        t->setBoxHandler(boxes);
    chooseTransport();
}

KVLComm::~KVLComm() = default;

CGuiState* KVLComm::GetGuiStateObject()
{
    if (!m_guiState)
        m_guiState = new CGuiState(this);
    return m_guiState;
}

void KVLComm::chooseTransport()
{
    LinkTransport* const byBus[] = {m_demo.get(), m_pci.get(), m_gpib.get(), m_rs232.get(), m_usb.get()};
    m_transport = (m_busType >= 0 && m_busType < int(std::size(byBus))) ? byBus[m_busType] : nullptr;
    forgetCounts();
}

void KVLComm::forgetCounts()
{
    m_hold.reset();
    m_silence.reset();
    m_waitsForEvents = false;
}

void KVLComm::linkReopened(bool forgetIdentification)
{
    if (m_transport)
        m_transport->reopened(forgetIdentification);
    forgetCounts();
}

// ---------------------------------------------------------------------------------------------
// Exchange

int KVLComm::SendAscii(const QString& Command)
{
    LockFrame frame(*this);
    if (!frame.held())
        return -1;
    try {
        if (!m_isOpen || !m_transport)
            return -1;
        notePlainSend();
        return m_transport->send(ansi(Command));
    } catch (const RuntimeError& error) {
        fail(error);
        return -1;
    }
}

QVariant KVLComm::SendAsciiNoTerm(const QString& Command)
{
    LockFrame frame(*this);
    if (!frame.held())
        return QVariant(int(-1));
    try {
        if (!m_isOpen || !m_transport)
            return QVariant(int(-1));
        notePlainSend();
        return m_transport->sendNoTerm(ansi(Command));
    } catch (const RuntimeError& error) {
        fail(error);
        return QVariant(int(-1));
    }
}

int KVLComm::ReadAscii(QString& ReturnString)
{
    LockFrame frame(*this);
    if (!frame.held())
        return -1;
    try {
        if (!m_isOpen)
            return -1;
        ReturnString = QString(ReplyBufferLength, QLatin1Char(' '));
        if (!m_transport)
            return -1;
        // A separate read never counts as silence, nor as an answer: it may hear a line that a
        // query gave up on.
        return m_transport->read(ReturnString);
    } catch (const RuntimeError& error) {
        fail(error);
        return -1;
    }
}

int KVLComm::SendReadAscii(const QString& Command, QString& ReturnString)
{
    // The rest of a go that has already held the program for a read limit waits for events to
    // run (the next tick, for a burst), unsent and with the reply untouched; only where an event
    // loop runs, so that returning lets them.
    m_waitsForEvents = false;
    switch (m_hold.refusal(platform::Clock::pumpDepth(), platform::Clock::tickMs(),
                           QThread::currentThread()->loopLevel() > 0)) {
    case EventLoopHoldBound::Refusal::TickSpent:
        return QueryNotSent;
    case EventLoopHoldBound::Refusal::WaitsForEvents:
        m_waitsForEvents = true;
        return QueryNotSent;
    case EventLoopHoldBound::Refusal::None:
        break;
    }
    LockFrame frame(*this);
    if (!frame.held())
        return -1;
    try {
        if (!m_isOpen)
            return -1;
        if (!m_transport) {
            ReturnString = QString(ReplyBufferLength, QLatin1Char(' '));
            return -1;
        }
        m_plainSentWhileIdle = false;
        const qint64 start = platform::Clock::tickMs();
        // No query goes out on a line out of step: it is put back in step first, and the two
        // share one read limit; the query after it has at least a short one of its own.
        m_transport->settleWaitingLines();
        int limitMs = LinkTransport::ReplyLimitMs;
        bool troubled = false;
        if (!m_transport->inStep()) {
            troubled = true;
            const LinkTransport::Resync resync =
                m_transport->resynchronise(m_transport->replyDeadline(LinkTransport::ReplyLimitMs));
            switch (resync) {
            case LinkTransport::Resync::Answered:
                m_silence.identified();
                break;
            case LinkTransport::Resync::InStep:
                break;
            case LinkTransport::Resync::Unsettled:
                // Not in step, though the controller answered: no sign of its silence.
                m_silence.identified();
                noteTrouble(start, true);
                return QueryNotSent;
            case LinkTransport::Resync::Failed:
            case LinkTransport::Resync::Unwritten:
                noteTrouble(start, true);
                noteUnanswered(start, false, false);
                // A line that takes no write fails the query as its own write would.
                return m_isOpen && resync == LinkTransport::Resync::Failed ? QueryNotSent : -1;
            }
            if (TickBurstSpent()) {
                noteTrouble(start, true);
                return QueryNotSent;
            }
            limitMs = int(std::max<qint64>(FollowUpLimitMs, start + LinkTransport::ReplyLimitMs - platform::Clock::tickMs()));
        }
        QString reply(ReplyBufferLength, QLatin1Char(' '));
        const qint64 asked = platform::Clock::tickMs();
        const int step = m_transport->sendRead(ansi(Command), reply, limitMs);
        if (step == LinkTransport::QueryNotSent) {
            noteTrouble(start, true);
            return QueryNotSent;
        }
        ReturnString = reply;
        const bool answered = step == 0;
        if (troubled || !answered)
            noteTrouble(start, !answered);
        // A query left much less than a read limit by a slow resynchronisation shows little of
        // the controller's silence: it does not count as a query unanswered.
        if (answered)
            m_silence.queryAnswered();
        else
            noteUnanswered(asked, true, limitMs >= FairReplyLimitMs);
        return answered ? 0 : -1;
    } catch (const RuntimeError& error) {
        fail(error);
        return -1;
    }
}

void KVLComm::noteTrouble(qint64 since, bool failed)
{
    m_hold.noteTrouble(since, failed, platform::Clock::pumpDepth(), platform::Clock::tickMs());
}

qint64 KVLComm::LineBusyMs() const
{
    return m_busType == BUS_TYPE_RS232 && m_isOpen ? m_rs232->msUntilLineFree() : 0;
}

bool KVLComm::LineWaiting()
{
    if (m_busType != BUS_TYPE_RS232 || !m_isOpen)
        return false;
    try {
        return m_rs232->lineHeld();
    } catch (const RuntimeError& error) {
        fail(error);
        return false;
    }
}

void KVLComm::noteUnanswered(qint64 since, bool query, bool fairTime)
{
    // A controller that stops answering in time is found within a few seconds, as a vanished
    // device is.
    if (m_silence.unanswered(since, platform::Clock::tickMs(), query, fairTime))
        fail(RuntimeError::standard(RuntimeError::BreakInCommunications, QStringLiteral("KVLComm")));
}

QString KVLComm::KVLTrim(const QString& buffer) const
{
    return LinkTransport::trimToLineFeed(buffer);
}

// ---------------------------------------------------------------------------------------------
// GPIB only

// These take the machine-wide lock as the exchanges do, so no other program's line lands inside a
// firmware image and no poll or timeout change cuts into another program's exchange.
int KVLComm::SendAsciiGPIBLength(const QByteArray& Command, short length)
{
    LockFrame frame(*this);
    if (!frame.held())
        return -1;
    try {
        return m_gpib->sendLength(Command, length);
    } catch (const RuntimeError& error) {
        fail(error);
        return -1;
    }
}

int KVLComm::GPIBSerialPoll()
{
    if (!m_isOpen)
        return 0;
    LockFrame frame(*this);
    if (!frame.held())
        return 0;
    try {
        return m_gpib->serialPoll();
    } catch (const RuntimeError& error) {
        fail(error);
        return 0;
    }
}

QVariant KVLComm::SetGPIBTimeout(int NewGPIBTimeout)
{
    if (m_busType != BUS_TYPE_GPIB)
        return QVariant();
    LockFrame frame(*this);
    if (!frame.held())
        return QVariant();
    try {
        m_gpib->setTimeout(NewGPIBTimeout);
    } catch (const RuntimeError& error) {
        fail(error);
    }
    return QVariant();
}

// ---------------------------------------------------------------------------------------------
// Link

// Demo mode after a failed start: the serial port is let go and old text is dropped, so neither
// the port stays held nor a stale reply is handed to the next reader.
void KVLComm::enterDemoMode()
{
    m_rs232->letGo();
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
    showBox(first + QStringLiteral("\r\nPlease choose another port.\r\nThe system will start in Demo Mode."), 48,
            kComPortTitle);
    enterDemoMode();
    return true;
}

int KVLComm::KVLInit()
{
    LockFrame frame(*this);
    if (!frame.held())
        return -1;
    try {
        linkReopened(true);
        m_plainSentWhileIdle = false;
        const int r = m_transport ? m_transport->initStep(m_deviceId) : -1;
        if (m_busType == BUS_TYPE_NONE) {
            m_isOpen = true;
            return 0;
        }
        if (r != 0) {
            enterDemoMode();
            return 0;
        }
        m_isOpen = true;
        QString reply(ReplyBufferLength, QLatin1Char(' '));
        const short status = short(m_transport->identify(reply));
        if (!m_isOpen || !m_transport) // the identification itself broke the link; HandleError has reported it
            return -1;
        if (m_transport->acceptsIdentification(reply, status))
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
    if (!frame.held())
        return -1;
    try {
        // An opening proves nothing about the line: it stays in step only when KVLInit has just
        // put it there.
        forgetCounts();
        if (m_transport && !m_transport->inStep())
            m_transport->reopened(false);
        int r = -1;
        m_plainSentWhileIdle = false;
        if (m_transport) {
            bool toDemo = false;
            r = m_transport->openStep(m_deviceId, toDemo);
            if (toDemo)
                setBusType(BUS_TYPE_NONE);
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
    if (!frame.held())
        return -1;
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
    m_isOpen = false;
    const int r = m_transport ? m_transport->close() : -1;
    m_isOpen = false;
    linkReopened(true);
    return r;
}

// The selection members run without the lock when another program keeps it past the limit: they
// only touch this control's own state.
BUS_TYPE KVLComm::BusType()
{
    LockFrame frame(*this);
    return static_cast<BUS_TYPE>(m_busType);
}

void KVLComm::setBusType(int value)
{
    LockFrame frame(*this);
    m_busType = value;
    chooseTransport();
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
// Failure handling, boxes and events

void KVLComm::fail(const RuntimeError& error)
{
    RuntimeError copy = error;
    HandleError(copy);
}

int KVLComm::HandleError(RuntimeError& ThisError)
{
    // One failure is reported once: a poller or button that hits the dead link while the report
    // is pending changes the state the same way but shows nothing and raises nothing.
    const bool first = !m_reportingFailure;
    m_reportingFailure = true;
    const short number = fit16(ThisError.Number);
    const QString text =
        QStringLiteral("Error %1 %2 %3").arg(ThisError.Number).arg(ThisError.Description, ThisError.Source);
    // No tick runs under the box.
    m_timer->stop();
    // Motion held by a panel is stopped on the port while it is still there.
    if (!m_givingUp && m_isOpen && m_busType != BUS_TYPE_NONE && m_transport) {
        m_givingUp = true;
        FlagReset lastWords(m_givingUp);
        raiseEvent([this] { emit LinkGivingUp(); }, false);
    }
    // The link is down before the box, so nothing shows it as connected while the box waits.
    try {
        m_isOpen = false;
        if (m_transport)
            m_transport->closeAfterFailure();
    } catch (const RuntimeError&) {
        m_isOpen = false; // the port is gone already
    }
    linkReopened(true);
    setBusType(BUS_TYPE_NONE);
    if (first) {
        const auto report = [this, text, number] {
            FlagReset done(m_reportingFailure);
            platform::MsgBox(text, 0);
            short reported = number;
            emit CommErrorEvent(reported);
        };
        // Inside a locked member the box and the event wait until the lock is released, so no
        // other program waits on this box.
        if (m_frameDepth > 0)
            afterUnlock(report);
        else
            report();
    }
    ThisError.Clear();
    return -2;
}

void KVLComm::showBox(const QString& prompt, int style, const QString& title)
{
    if (m_frameDepth > 0)
        afterUnlock([prompt, style, title] { platform::MsgBox(prompt, style, title); });
    else
        platform::MsgBox(prompt, style, title);
}

void KVLComm::afterUnlock(std::function<void()> action)
{
    m_afterUnlock.push_back(std::move(action));
}

void KVLComm::runAfterUnlock()
{
    // What runs here may run locked members again and leave more for later.
    while (!m_afterUnlock.empty()) {
        std::vector<std::function<void()>> actions = std::exchange(m_afterUnlock, {});
        for (const std::function<void()>& action : actions)
            raiseEvent(action, false);
    }
}

void KVLComm::reportLockTimeout()
{
    if (m_lockBusy)
        return;
    m_lockBusy = true;
    platform::MsgBox(QStringLiteral("Another program has kept the link to the controller busy for more than %1 "
                                    "seconds.\r\nThe command was not sent.")
                         .arg(LockLimitMs / 1000),
                     48, QStringLiteral("Controller Link Busy"));
}

void KVLComm::raiseEvent(const std::function<void()>& raise, bool linkFailures)
{
    if (linkFailures)
        platform::guardEvent(raise, [this](const RuntimeError& error) { fail(error); });
    else
        platform::guardEvent(raise);
}

// ---------------------------------------------------------------------------------------------
// Timer and serial events

bool KVLComm::TimerEnabled() const
{
    return m_timer->isActive();
}

void KVLComm::notePlainSend()
{
    if (!m_timer->isActive())
        m_plainSentWhileIdle = true;
}

void KVLComm::setTimerEnabled(bool enabled)
{
    // Whoever had the link while the polls were off (a terminal above all) may have sent lines
    // whose replies nobody read: the polls that resume first put the line in step.
    if (enabled && std::exchange(m_plainSentWhileIdle, false) && m_transport && m_busType != BUS_TYPE_NONE)
        m_transport->noteUntrackedSends();
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
    // A tick that comes while a burst lets events run would lengthen that burst: it is dropped.
    if (m_hold.tickRunning())
        return;
    platform::Clock::pumpOnce();
    m_hold.beginTick(platform::Clock::pumpDepth(), platform::Clock::tickMs());
    raiseEvent([this] { emit Timer(); });
    m_hold.endTick();
    platform::Clock::pumpOnce();
}

bool KVLComm::TickBurstSpent() const
{
    return m_hold.tickBurstSpent(platform::Clock::pumpDepth(), platform::Clock::tickMs());
}

bool KVLComm::takeTickTurn(bool& leftLastTick)
{
    return m_hold.takeTickTurn(leftLastTick, platform::Clock::pumpDepth(), platform::Clock::tickMs());
}

void KVLComm::setCommEventEnabled(bool enabled)
{
    m_commEventEnabled = enabled;
}

void KVLComm::onSerialEvent()
{
    try {
        if (m_serial->CommEvent() != platform::SerialControl::comEvReceive)
            return;
        const int waiting = m_serial->InBufferCount();
        if (m_commEventEnabled) {
            QString data = LinkTransport::fromAnsi(m_serial->Input());
            raiseEvent([this, &data] { emit CommEvent(data); });
            return;
        }
        // Up to what was waiting, and no further: a line that never stops must not hold the
        // program here.
        for (int taken = 0; taken < waiting;) {
            const QByteArray input = m_serial->Input();
            if (input.isEmpty())
                break;
            taken += int(input.size());
            m_rs232->received(input);
        }
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
    chooseTransport();
}

void KVLComm::ReadProperties(const platform::PropertyBag& bag)
{
    m_busType = bag.ReadProperty(QStringLiteral("BusType"), 0).toInt();
    chooseTransport();
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
    // The motion interface answers by its own name and by its class's, as it always has.
    if (interfaceName.compare(motion.interfaceName(), Qt::CaseInsensitive) == 0
        || interfaceName.compare(QLatin1String("IMotion"), Qt::CaseInsensitive) == 0)
        return &motion;
    return nullptr;
}

QVector<QPair<int, QString>> KVLComm::eventTable() const
{
    return {{1, QStringLiteral("Timer")}, {2, QStringLiteral("CommEvent")}, {3, QStringLiteral("CommErrorEvent")}};
}
