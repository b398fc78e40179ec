#include "platform/com/PropertyBag.h"

namespace platform {

QVariant PropertyBag::ReadProperty(const QString& key, const QVariant& defaultValue) const
{
    auto it = m_values.constFind(key);
    if (it == m_values.constEnd())
        return defaultValue;
    // A stored value of another type (a bag read back from text) comes as the default's type
    // when it converts; otherwise as stored.
    QVariant value = it.value();
    if (defaultValue.isValid() && value.metaType() != defaultValue.metaType()) {
        QVariant converted = value;
        if (converted.convert(defaultValue.metaType()))
            return converted;
    }
    return value;
}

void PropertyBag::WriteProperty(const QString& key, const QVariant& value, const QVariant& defaultValue)
{
    if (value == defaultValue)
        m_values.remove(key);
    else
        m_values.insert(key, value);
}

} // namespace platform
