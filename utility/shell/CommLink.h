#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include "platform/com/DispatchTable.h"

class CGuiState;

// The program's handle on the communication control. The control belongs to the control library
// and is reached late-bound, member by name through its dispatch table, as a host that holds it
// only as an object does; run-time errors of the control (platform::RuntimeError) pass through.
// A handle whose control is gone raises error 91 on every call.
class CommLink {
public:
    CommLink() = default;
    explicit CommLink(QObject* control) : m_control(control) {}

    // The control itself: for binding panels (their CommControl) and connecting to its events.
    QObject* object() const { return m_control; }
    bool isNull() const { return m_control.isNull(); }

    // Exchange.
    int SendAscii(const QString& Command);
    int SendReadAscii(const QString& Command, QString& ReturnString);
    int ReadAscii(QString& ReturnString);
    // How long the serial line still needs to carry what was written (0 on other buses).
    qint64 LineBusyMs() const;
    // The serial port holds a whole line for a read (false on other buses).
    bool LineWaiting();
    QVariant SendAsciiNoTerm(const QString& Command);
    int SendAsciiGPIBLength(const QByteArray& Command, short length);
    void SetGPIBTimeout(int NewGPIBTimeout);
    bool IsAnotherDeviceAtGPIB1();

    // Link.
    int KVLInit();
    int KVLOpen();
    int KVLClose();
    bool IsOpen();
    int BusType();
    void setBusType(int value);
    // True while the program itself sets the bus through a handle: a change of BusType reported
    // at any other time is one the control made by itself (demo mode after a failure or a failed
    // open).
    static bool settingBusType();
    int DeviceID();
    void setDeviceID(int value);
    short CommPort();
    void setCommPort(short value);
    QString Settings();
    void setSettings(const QString& value);
    QObject* RS232CommControl();

    // Timer and events.
    bool TimerEnabled();
    void setTimerEnabled(bool enabled);
    int Interval();
    void setInterval(int ms);
    bool CommEventEnabled();
    void setCommEventEnabled(bool enabled);

    // Shared state and the parameter cache's snapshot.
    CGuiState* GetGuiStateObject();
    void StoreCurrentAxisState();
    void RestoreOldAxisState();

    // Any member by name.
    QVariant call(const QString& name, platform::MemberKind kind, QVariantList& args);
    QVariant call(const QString& name, platform::MemberKind kind = platform::MemberKind::Method,
                  QVariantList&& args = {});

private:
    QVariant get(const QString& name);
    void put(const QString& name, const QVariant& value);

    QPointer<QObject> m_control;
};
