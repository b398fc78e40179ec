#include "platform/com/ClassRegistry.h"

#include <QMap>
#include <QObject>

#include <mutex>

namespace platform {

namespace {

// Function-local statics, so registrations from static initialisers of any library find them
// constructed whatever the order of initialisation.
std::mutex& registryMutex()
{
    static std::mutex m;
    return m;
}

QMap<QString, ClassFactory>& factories()
{
    static QMap<QString, ClassFactory> map;
    return map;
}

// Program identifiers compare without regard to case, as the original's registry does.
QString keyOf(const QString& progId)
{
    return progId.toLower();
}

QMap<QString, QString>& spellings()
{
    static QMap<QString, QString> map;
    return map;
}

} // namespace

bool registerClass(const QString& progId, ClassFactory factory)
{
    std::lock_guard<std::mutex> guard(registryMutex());
    factories().insert(keyOf(progId), std::move(factory));
    spellings().insert(keyOf(progId), progId);
    return true;
}

QObject* createObject(const QString& progId, QWidget* parent)
{
    ClassFactory factory;
    {
        std::lock_guard<std::mutex> guard(registryMutex());
        auto it = factories().constFind(keyOf(progId));
        if (it == factories().constEnd())
            return nullptr;
        factory = it.value();
    }
    return factory ? factory(parent) : nullptr;
}

bool isRegistered(const QString& progId)
{
    std::lock_guard<std::mutex> guard(registryMutex());
    return factories().contains(keyOf(progId));
}

QStringList registeredClasses()
{
    std::lock_guard<std::mutex> guard(registryMutex());
    return spellings().values();
}

} // namespace platform
