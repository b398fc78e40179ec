#pragma once

#include <memory>

class KVLComm;
class ScriptedController;

// A communication control on a scripted controller's pseudo-terminal, opened the way hosts open it:
// serial port `port` pointed there through KVL_COM<port>, initialised and opened. Null when the
// link did not open. The caller unsets KVL_COM<port> when done.
std::unique_ptr<KVLComm> openScriptedLink(const ScriptedController& controller, short port = 8);
