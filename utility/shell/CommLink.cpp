#include "utility/shell/CommLink.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "platform/kernel/Clock.h"

#include <QScopedValueRollback>

using platform::MemberKind;

QVariant CommLink::call(const QString& name, MemberKind kind, QVariantList& args)
{
    return platform::invokeByName(m_control.data(), name, kind, args);
}

QVariant CommLink::call(const QString& name, MemberKind kind, QVariantList&& args)
{
    QVariantList list = std::move(args);
    return call(name, kind, list);
}

QVariant CommLink::get(const QString& name)
{
    return call(name, MemberKind::PropertyGet);
}

void CommLink::put(const QString& name, const QVariant& value)
{
    call(name, MemberKind::PropertyPut, QVariantList{value});
}

int CommLink::SendAscii(const QString& Command)
{
    return call(QStringLiteral("SendAscii"), MemberKind::Method, QVariantList{Command}).toInt();
}

int CommLink::SendReadAscii(const QString& Command, QString& ReturnString)
{
    QVariantList args{Command, ReturnString};
    int status = call(QStringLiteral("SendReadAscii"), MemberKind::Method, args).toInt();
    // A window's read held back because its go has waited out a bad line asks again once events
    // have run (a stop click among them), within the link's own bound.
    auto* comm = qobject_cast<KVLComm*>(m_control.data());
    if (status == KVLComm::QueryNotSent && comm && comm->WaitsForEvents()) {
        platform::Clock::pumpFor(KVLComm::AskAgainAfterMs);
        if (!m_control.isNull()) {
            args = QVariantList{Command, ReturnString};
            status = call(QStringLiteral("SendReadAscii"), MemberKind::Method, args).toInt();
        }
    }
    ReturnString = args.value(1).toString();
    return status;
}

qint64 CommLink::LineBusyMs() const
{
    const auto* comm = qobject_cast<const KVLComm*>(m_control.data());
    return comm ? comm->LineBusyMs() : 0;
}

bool CommLink::LineWaiting()
{
    auto* comm = qobject_cast<KVLComm*>(m_control.data());
    return comm && comm->LineWaiting();
}

int CommLink::ReadAscii(QString& ReturnString)
{
    QVariantList args{ReturnString};
    const int status = call(QStringLiteral("ReadAscii"), MemberKind::Method, args).toInt();
    ReturnString = args.value(0).toString();
    return status;
}

QVariant CommLink::SendAsciiNoTerm(const QString& Command)
{
    return call(QStringLiteral("SendAsciiNoTerm"), MemberKind::Method, QVariantList{Command});
}

int CommLink::SendAsciiGPIBLength(const QByteArray& Command, short length)
{
    return call(QStringLiteral("SendAsciiGPIBLength"), MemberKind::Method,
                QVariantList{Command, QVariant::fromValue<short>(length)})
        .toInt();
}

void CommLink::SetGPIBTimeout(int NewGPIBTimeout)
{
    call(QStringLiteral("SetGPIBTimeout"), MemberKind::Method, QVariantList{NewGPIBTimeout});
}

bool CommLink::IsAnotherDeviceAtGPIB1()
{
    return call(QStringLiteral("IsAnotherDeviceAtGPIB1")).toBool();
}

int CommLink::KVLInit()
{
    return call(QStringLiteral("KVLInit")).toInt();
}

int CommLink::KVLOpen()
{
    return call(QStringLiteral("KVLOpen")).toInt();
}

int CommLink::KVLClose()
{
    return call(QStringLiteral("KVLClose")).toInt();
}

bool CommLink::IsOpen()
{
    return get(QStringLiteral("IsOpen")).toBool();
}

int CommLink::BusType()
{
    return get(QStringLiteral("BusType")).toInt();
}

namespace {

int g_settingBusType = 0;

} // namespace

void CommLink::setBusType(int value)
{
    const QScopedValueRollback<int> mark(g_settingBusType, g_settingBusType + 1);
    put(QStringLiteral("BusType"), value);
}

bool CommLink::settingBusType()
{
    return g_settingBusType > 0;
}

int CommLink::DeviceID()
{
    return get(QStringLiteral("DeviceID")).toInt();
}

void CommLink::setDeviceID(int value)
{
    put(QStringLiteral("DeviceID"), value);
}

short CommLink::CommPort()
{
    return static_cast<short>(get(QStringLiteral("CommPort")).toInt());
}

void CommLink::setCommPort(short value)
{
    put(QStringLiteral("CommPort"), QVariant::fromValue<short>(value));
}

QString CommLink::Settings()
{
    return get(QStringLiteral("Settings")).toString();
}

void CommLink::setSettings(const QString& value)
{
    put(QStringLiteral("Settings"), value);
}

QObject* CommLink::RS232CommControl()
{
    return get(QStringLiteral("RS232CommControl")).value<QObject*>();
}

bool CommLink::TimerEnabled()
{
    return get(QStringLiteral("TimerEnabled")).toBool();
}

void CommLink::setTimerEnabled(bool enabled)
{
    put(QStringLiteral("TimerEnabled"), enabled);
}

int CommLink::Interval()
{
    return get(QStringLiteral("Interval")).toInt();
}

void CommLink::setInterval(int ms)
{
    put(QStringLiteral("Interval"), ms);
}

bool CommLink::CommEventEnabled()
{
    return get(QStringLiteral("CommEventEnabled")).toBool();
}

void CommLink::setCommEventEnabled(bool enabled)
{
    put(QStringLiteral("CommEventEnabled"), enabled);
}

CGuiState* CommLink::GetGuiStateObject()
{
    return qobject_cast<CGuiState*>(call(QStringLiteral("GetGuiStateObject")).value<QObject*>());
}

void CommLink::StoreCurrentAxisState()
{
    call(QStringLiteral("StoreCurrentAxisState"));
}

void CommLink::RestoreOldAxisState()
{
    call(QStringLiteral("RestoreOldAxisState"));
}
