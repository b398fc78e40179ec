#pragma once

#include <QString>

// One-line exchanges with the controller over the main window's link.
namespace KvlXGlobal {

// Sends cmd with a carriage return and returns the cleaned reply; an empty or "No data" /
// "No Message" reply is reported in a box and returned all the same.
QString QueryController(const QString& cmd);
// A cleaned reply that carries no answer: empty, "No data" or "No Message".
bool IsUnusableReply(const QString& cleaned);
// The reply line without its terminator; a reply without one is no reply ("").
QString CleanReply(const QString& text);
// Reads (and discards) the controller's next error, unless in demo mode. Returns 0.
short ReadErrorMessage();

} // namespace KvlXGlobal
