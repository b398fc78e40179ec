#pragma once

#include "library/link/BusType.h"
#include "library/link/EventLoopHoldBound.h"
#include "library/link/MotionParameterCache.h"
#include "library/link/SilenceWatch.h"
#include "platform/RuntimeError.h"
#include "platform/com/Control.h"

#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

class QTimer;
class CGuiState;
class LinkTransport;
class DemoTransport;
class PciTransport;
class GpibTransport;
class Rs232Transport;
class UsbTransport;

namespace platform {
class MachineLock;
class SerialControl;
}

// The communication control: owns the one link to the controller, serialises every exchange under
// the machine-wide lock, reports link failures in one place and paces the panels with its timer.
//
// Link status of the exchange members: 0 done (demo mode sends nothing), -1 link not open, bus out
// of range, no reply (nothing, or a line cut off or too long) or the machine-wide lock held
// elsewhere past LockLimitMs (then at once until it is free again); QueryNotSent for a query that
// did not go out; on PCI and USB the driver's own code passes through SendAscii, SendAsciiNoTerm
// and ReadAscii.
//
// Each bus is a transport of its own, chosen when BusType changes. Message boxes of a locked
// member, the failure report among them, are shown once the lock is released, so no program waits
// on another's box.
//
// Replies stay in step (the rule is LinkTransport's): a reply answers only its own query, and
// after an exchange that leaves the line out of step the link asks for the identification and
// drops every line until its own comes back before the next query; the two share one read limit.
// A plain send, a stop above all, still goes at once. So it does when the timer is switched on
// after lines were sent while it was off and no query went out since (a terminal's typed lines).
// A controller that answers nothing in time breaks the link once (1001): SilenceWatch says when.
//
// Nothing holds the event loop much longer than one read limit (EventLoopHoldBound): a tick's
// burst ends after TickBurstLimitMs, and where an event loop runs, a go (until events next run)
// whose troubled exchanges have held it that long gets QueryNotSent for its later queries, until
// events run or a read limit has passed. A program that reads from a loop of its own, with no
// event loop running, is never refused a query.
//
// Every opening and close starts the link afresh: no trouble, held-back query or silence counted
// survives KVLInit, KVLOpen or KVLClose, and the next query puts the line in step first (unless
// KVLInit has just done so). The answers still owed stay counted, so none answers a later query.
//
// The same object implements IMotion over its per-axis parameter cache.
class KVLComm : public platform::Control, public MotionParameterCache {
    Q_OBJECT
public:
    explicit KVLComm(QWidget* parent = nullptr);
    ~KVLComm() override;

    static constexpr int ReplyBufferLength = 255;
    static constexpr const char* LockName = "KVLComm_ActiveX";
    static constexpr int LockLimitMs = 10000;
    static constexpr int UnansweredQueryLimit = SilenceWatch::UnansweredQueryLimit;
    static constexpr int TickBurstLimitMs = 300;
    // The least a query after a resynchronisation waits for its reply: the controller has just
    // shown it answers.
    static constexpr int FollowUpLimitMs = 200;
    // A query unanswered within at least this long counts toward UnansweredQueryLimit.
    static constexpr int FairReplyLimitMs = 500;
    // A query held back for events is best asked again after letting them run this long: a reply
    // just late has come by then and puts the line back in step with nothing asked, so a line
    // whose every other answer is late does not keep losing the queries after its identifications.
    static constexpr int AskAgainAfterMs = 300;
    // SendReadAscii's status for a query that did not go out (the tick's burst was spent, the
    // line could not be put back in step, or the bus cannot carry the command): it was not asked,
    // so it is neither unanswered nor a value, and the reply is left as it was given.
    static constexpr int QueryNotSent = -3;

    // The one CGuiState of this control, made on the first request.
    CGuiState* GetGuiStateObject() override;
    // Bus type none: demo mode.
    bool linkIsDemo() const override { return m_busType == BUS_TYPE_NONE; }

    // Exchange.
    int SendAscii(const QString& Command) override;
    int ReadAscii(QString& ReturnString);
    QString KVLTrim(const QString& buffer) const;
    int SendReadAscii(const QString& Command, QString& ReturnString) override;
    QVariant SendAsciiNoTerm(const QString& Command);

    // GPIB only. Each takes the machine-wide lock; one that cannot have it does nothing (-1, a
    // poll of 0).
    int SendAsciiGPIBLength(const QByteArray& Command, short length);
    int GPIBSerialPoll();
    QVariant SetGPIBTimeout(int NewGPIBTimeout);
    bool IsAnotherDeviceAtGPIB1() const { return false; }

    // The last query was not sent because this go (since events last ran) had already waited out
    // a bad line, outside a tick's burst, with an event loop running: it goes out once events
    // have run.
    bool WaitsForEvents() const { return m_waitsForEvents; }

    // How long the serial line still needs to carry what was written (0 on other buses): a long
    // transfer waits for it with events running before it asks for its confirmation.
    qint64 LineBusyMs() const;
    // Serial port only (false on the other buses): a whole line, or one too long, has come and
    // waits for a read, so ReadAscii hands it on without waiting on the line. A long transfer
    // waits for it with events running before it reads.
    bool LineWaiting();

    // Link.
    int KVLInit();
    int KVLOpen();
    int KVLClose();
    bool IsOpen() const { return m_isOpen; }
    BUS_TYPE BusType();
    void setBusType(int value);
    int DeviceID();
    void setDeviceID(int value);

    // Failure handler: reports, closes the link, switches to demo mode, raises CommErrorEvent, and
    // clears the error. Returns -2.
    int HandleError(platform::RuntimeError& ThisError);

    // Timer.
    // The running tick's burst is over: its handlers leave their remaining exchanges to the next.
    bool TickBurstSpent() const;
    // Whether a Timer handler acts on this tick. leftLastTick is the handler's own mark, set when
    // the burst was spent before its turn, so that it goes first on the next tick.
    bool takeTickTurn(bool& leftLastTick);
    bool TimerEnabled() const;
    void setTimerEnabled(bool enabled);
    int Interval() const;
    void setInterval(int ms);

    // Serial.
    bool CommEventEnabled() const { return m_commEventEnabled; }
    void setCommEventEnabled(bool enabled);
    short CommPort() const { return m_commPort; }
    void setCommPort(short port);
    QString Settings() const;
    void setSettings(const QString& settings);
    platform::SerialControl* RS232CommControl() const { return m_serial; }

    // Persisted properties.
    void InitProperties() override;
    void ReadProperties(const platform::PropertyBag& bag) override;
    void WriteProperties(platform::PropertyBag& bag) const override;

    // Late-bound access.
    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;
    QVector<QPair<int, QString>> eventTable() const override;

signals:
    void Timer();
    void CommEvent(QString& CommData);
    void CommErrorEvent(short& ErrorNum);
    // The link is about to be given up after a failure; it is still open, so a panel can send the
    // stop of the motion it holds.
    void LinkGivingUp();

private:
    class LockFrame;
    friend class LockFrame;

    // The transport of the stored bus, or nullptr for a value outside the enumeration.
    void chooseTransport();
    void enterDemoMode();
    bool serialPortRefused(const platform::RuntimeError& error);
    int closeLink();
    // Forgets the trouble, the queries held back and the silence counted.
    void forgetCounts();
    // The link was opened or closed: the counts are forgotten, and the line is out of step (see
    // LinkTransport::reopened).
    void linkReopened(bool forgetIdentification);
    // An exchange begun at since brought no answer in time: the link breaks once the controller
    // is taken for gone.
    void noteUnanswered(qint64 since, bool query, bool fairTime);
    // A plain send while the timer is off: a reply may come that no query asked for.
    void notePlainSend();

    // A box now, or once the lock frame of this control is left when one is running.
    void showBox(const QString& prompt, int style, const QString& title);
    void afterUnlock(std::function<void()> action);
    void runAfterUnlock();
    // Raises one of this control's events; whatever a handler throws ends here, never the program:
    // a link failure (when linkFailures) goes to HandleError, anything else is shown in a box.
    void raiseEvent(const std::function<void()>& raise, bool linkFailures = true);
    void reportLockTimeout();

    // Hands a run-time failure inside a member to HandleError, turning it into the member's status.
    void fail(const platform::RuntimeError& error);
    void onSerialEvent();
    void onTick();
    // An exchange begun at since was put back in step first, or failed (or was not sent).
    void noteTrouble(qint64 since, bool failed);

    EventLoopHoldBound m_hold;
    SilenceWatch m_silence;
    bool m_givingUp = false;
    bool m_waitsForEvents = false;

    bool m_isOpen = false;
    int m_busType = BUS_TYPE_NONE;
    short m_commPort = 0;
    int m_deviceId = 0;
    std::unique_ptr<platform::MachineLock> m_lock;
    bool m_commEventEnabled = false;
    bool m_reportingFailure = false;
    // A lock wait timed out and the lock has not been had since.
    bool m_lockBusy = false;
    int m_frameDepth = 0;
    // Lines were sent while the timer was off, and no query has gone out since.
    bool m_plainSentWhileIdle = false;
    std::vector<std::function<void()>> m_afterUnlock;

    CGuiState* m_guiState = nullptr;
    QTimer* m_timer = nullptr;
    platform::SerialControl* m_serial = nullptr;

    std::unique_ptr<DemoTransport> m_demo;
    std::unique_ptr<PciTransport> m_pci;
    std::unique_ptr<GpibTransport> m_gpib;
    std::unique_ptr<Rs232Transport> m_rs232;
    std::unique_ptr<UsbTransport> m_usb;
    LinkTransport* m_transport = nullptr;
};
