#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QObject;
class QWidget;

namespace platform {

// The class registry: program identifiers ("KVL410ActiveX.KVLComm") to factories. A library
// registers its public classes when it is loaded; hosts create objects by identifier.
using ClassFactory = std::function<QObject*(QWidget* parent)>;

// Returns true so it can initialise a static in the registering source file.
bool registerClass(const QString& progId, ClassFactory factory);

// Creates an object of the class, or returns nullptr for an unknown identifier.
QObject* createObject(const QString& progId, QWidget* parent = nullptr);

bool isRegistered(const QString& progId);
QStringList registeredClasses();

} // namespace platform
