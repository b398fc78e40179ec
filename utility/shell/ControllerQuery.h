#pragma once

#include <QString>

// One-line exchanges with the controller over the main window's link.
namespace KvlXGlobal {

// Sends cmd with a carriage return and returns the cleaned reply; an empty or "No data" /
// "No Message" reply is reported in a box and returned all the same. A query the link did not
// send (the tick's time for the link was spent, or the line could not be put back in step) was
// not asked: nothing is reported, the reply is empty, and *sent, when given, says so. *answered,
// when given, says whether the controller answered with a usable reply (status 0, a whole line
// that is not "No data" or "No Message").
QString QueryController(const QString& cmd, bool* sent = nullptr, bool* answered = nullptr);
// A cleaned reply that carries no answer: empty, "No data" or "No Message".
bool IsUnusableReply(const QString& cleaned);
// The reply line without its terminator; a reply without one is no reply ("").
QString CleanReply(const QString& text);
// Reads (and discards) the controller's next error, unless in demo mode. Returns 0.
short ReadErrorMessage();

} // namespace KvlXGlobal
