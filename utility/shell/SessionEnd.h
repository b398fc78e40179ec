#pragma once

class QObject;

// How the program ends when the session tells it to (logout, Ctrl+C, kill): the main window closes
// the ordinary way, so the link settings and the window places are saved, and no question that
// waits for a person holds that up.
class SessionEnd {
public:
    // SIGINT, SIGTERM and SIGHUP end the program through end(), from the event loop.
    static void install(QObject* context);
    // Every box and modal dialog that waits is dismissed as if closed without a button, later
    // boxes answer so at once, and the main window closes once no wait is in progress. Should the
    // close be refused, boxes are shown again: they are passed over only while the program is
    // really closing.
    static void end();
};
