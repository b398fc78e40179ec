#pragma once

#include "platform/com/DispatchTable.h"
#include "platform/com/PropertyBag.h"

#include <QWidget>

namespace platform {

// Base of every control a host places on a form: callable by dispatch identifier, persisted
// through a property bag, and telling the host when a persisted property changed.
class Control : public QWidget, public Dispatchable {
    Q_OBJECT
public:
    explicit Control(QWidget* parent = nullptr);

    // A control placed new: its properties take their defaults.
    virtual void InitProperties() {}
    // A saved control being loaded, and being saved.
    virtual void ReadProperties(const PropertyBag& bag) { Q_UNUSED(bag); }
    virtual void WriteProperties(PropertyBag& bag) const { Q_UNUSED(bag); }

signals:
    // The host's notice that a persisted property changed (PropertyChanged of the original).
    void PropertyChanged(const QString& name);
};

} // namespace platform
