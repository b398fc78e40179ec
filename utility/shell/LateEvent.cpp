#include "utility/shell/LateEvent.h"

#include <QObject>
#include <QString>

namespace {

// SIGNAL() and SLOT() put a code character before the member's name.
QString memberName(const char* member)
{
    return member && *member ? QString::fromLatin1(member + 1) : QString();
}

QString objectName(const QObject* object)
{
    if (!object)
        return QStringLiteral("(none)");
    const QString name = object->objectName();
    return name.isEmpty() ? QString::fromLatin1(object->metaObject()->className()) : name;
}

} // namespace

bool LateEvent::connect(QObject* sender, const char* signal, QObject* receiver, const char* method)
{
    if (QObject::connect(sender, signal, receiver, method))
        return true;
    qCritical("Moxtrel: %s gets no %s event from %s (%s is not connected)", qPrintable(objectName(receiver)),
              qPrintable(memberName(signal)), qPrintable(objectName(sender)), qPrintable(memberName(method)));
    return false;
}
