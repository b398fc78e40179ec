#pragma once

#include "library/link/BusType.h"
#include "library/link/MotionParameterCache.h"
#include "platform/RuntimeError.h"
#include "platform/com/Control.h"

#include <QString>
#include <QVariant>
#include <memory>

class QTimer;
class CGuiState;

namespace platform {
class MachineLock;
class SerialControl;
}

// The communication control: owns the one link to the controller, serialises every exchange under
// the machine-wide lock, reports link failures in one place and paces the panels with its timer.
//
// Link status of the exchange members: 0 done (demo mode sends nothing), -1 link not open, bus out
// of range or no reply; on PCI and USB the driver's own code passes through SendAscii,
// SendAsciiNoTerm and ReadAscii.
//
// The same object implements IMotion over its per-axis parameter cache.
class KVLComm : public platform::Control, public MotionParameterCache {
    Q_OBJECT
public:
    explicit KVLComm(QWidget* parent = nullptr);
    ~KVLComm() override;

    static constexpr int ReplyBufferLength = 255;
    static constexpr const char* LockName = "KVLComm_ActiveX";

    // The one CGuiState of this control, made on the first request.
    CGuiState* GetGuiStateObject() override;

    // Exchange.
    int SendAscii(const QString& Command) override;
    int ReadAscii(QString& ReturnString);
    QString KVLTrim(const QString& buffer) const;
    int SendReadAscii(const QString& Command, QString& ReturnString) override;
    QVariant SendAsciiNoTerm(const QString& Command);

    // GPIB only.
    int SendAsciiGPIBLength(const QByteArray& Command, short length);
    int GPIBSerialPoll();
    QVariant SetGPIBTimeout(int NewGPIBTimeout);
    bool IsAnotherDeviceAtGPIB1() const { return false; }

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
    bool TimerEnabled() const;
    void setTimerEnabled(bool enabled);
    int Interval() const;
    void setInterval(int ms);

    // Serial.
    bool CommEventEnabled() const { return m_commEventEnabled; }
    void setCommEventEnabled(bool enabled) { m_commEventEnabled = enabled; }
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

private:
    class LockFrame;
    friend class LockFrame;

    // Transports.
    int rs232SendAscii(const QString& command, bool addTerm);
    int rs232ReadAscii(QString& reply);
    int rs232SendReadAscii(const QString& command, QString& reply);
    int gpibSendAscii(const QString& command);
    int gpibReadAscii(QString& reply);
    int gpibSendReadAscii(const QString& command, QString& reply);
    int usbSendReadAscii(const QString& command, QString& reply);

    // Bus steps of KVLInit / KVLOpen.
    int pciBoardStep(bool open);
    int gpibOpenStep(bool showMessage);
    void openSerialPort();
    bool pciBoardAvailable();
    void enterDemoMode();
    bool serialPortRefused(const platform::RuntimeError& error);
    int closeLink();

    // Hands a run-time failure inside a member to HandleError, turning it into the member's status.
    void fail(const platform::RuntimeError& error);
    void onSerialEvent();
    void onTick();

    int m_gpibDescriptor = 0;
    bool m_isOpen = false;
    int m_busType = BUS_TYPE_NONE;
    short m_commPort = 0;
    int m_deviceId = 0;
    std::unique_ptr<platform::MachineLock> m_lock;
    QByteArray m_serialReply;
    bool m_commEventEnabled = false;
    bool m_reportingFailure = false;

    CGuiState* m_guiState = nullptr;
    QTimer* m_timer = nullptr;
    platform::SerialControl* m_serial = nullptr;
};
