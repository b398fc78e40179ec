#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

namespace platform {

// The host's store for a control's persisted properties. A value equal to its default is not
// written, so reading it back gives the default.
class PropertyBag {
public:
    QVariant ReadProperty(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void WriteProperty(const QString& key, const QVariant& value, const QVariant& defaultValue = QVariant());

    bool contains(const QString& key) const { return m_values.contains(key); }
    const QMap<QString, QVariant>& values() const { return m_values; }
    void clear() { m_values.clear(); }

private:
    QMap<QString, QVariant> m_values;
};

} // namespace platform
