#pragma once

class QObject;

// Events of objects made by their program identifier are connected by name (SIGNAL and SLOT):
// their classes are not known here. A name that does not match makes no connection, and the
// window would simply never hear the event; connect() says so in the program's log, naming the
// window, the event and the sender.
class LateEvent {
public:
    static bool connect(QObject* sender, const char* signal, QObject* receiver, const char* method);
};
