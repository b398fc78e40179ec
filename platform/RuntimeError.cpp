#include "platform/RuntimeError.h"

namespace platform {

RuntimeError::RuntimeError(int number, QString description, QString source)
    : Number(number), Description(std::move(description)), Source(std::move(source))
{
}

QString RuntimeError::standardDescription(int number)
{
    switch (number) {
    case Overflow: return QStringLiteral("Overflow");
    case SubscriptOutOfRange: return QStringLiteral("Subscript out of range");
    case TypeMismatch: return QStringLiteral("Type mismatch");
    case ObjectNotSet: return QStringLiteral("Object variable or With block variable not set");
    case InvalidPropertyValue: return QStringLiteral("Invalid property value");
    case NotSupported: return QStringLiteral("Object doesn't support this property or method");
    case ArgumentNotOptional: return QStringLiteral("Argument not optional");
    case InvalidPort: return QStringLiteral("Invalid Port Number");
    case PortAlreadyOpen: return QStringLiteral("Port already open");
    case PortNotOpen: return QStringLiteral("Operation valid only when the port is open");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

RuntimeError RuntimeError::standard(int number, const QString& source)
{
    return RuntimeError(number, standardDescription(number), source);
}

void RuntimeError::Clear()
{
    Number = 0;
    Description.clear();
    Source.clear();
}

bool RuntimeError::isLinkFailure() const
{
    return Number == BreakInCommunications || Number == InvalidPort || Number == PortAlreadyOpen
        || Number == PortNotOpen;
}

const char* RuntimeError::what() const noexcept
{
    m_what = QStringLiteral("Error %1 %2 %3").arg(Number).arg(Description, Source).toLocal8Bit();
    return m_what.constData();
}

} // namespace platform
