#include "utility/shell/SettingsStore.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

namespace {

QString g_fileName;

QString keyPath(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}

} // namespace

QString SettingsStore::fileName()
{
    if (!g_fileName.isEmpty())
        return g_fileName;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/")
        + QLatin1String(ApplicationName) + QStringLiteral("/") + QLatin1String(ApplicationName)
        + QStringLiteral(".ini");
}

void SettingsStore::setFileName(const QString& path)
{
    g_fileName = path;
}

QString SettingsStore::GetSetting(const QString& section, const QString& key, const QString& defaultValue)
{
    QSettings store(fileName(), QSettings::IniFormat);
    const QVariant value = store.value(keyPath(section, key));
    if (!value.isValid())
        return defaultValue;
    // A hand-written "19200,n,8,1" without quotes comes back as a list: it is still one text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void SettingsStore::SaveSetting(const QString& section, const QString& key, const QString& value)
{
    QSettings store(fileName(), QSettings::IniFormat);
    store.setValue(keyPath(section, key), value);
    store.sync();
}
