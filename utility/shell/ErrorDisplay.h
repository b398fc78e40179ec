#pragma once

#include <QString>

namespace KvlXGlobal {

// Shows the error window and lists msg on its panel; code 1 (a communication time-out) asks
// instead whether to re-initialise the link or end the program. Returns 0.
short ShowError(const QString& msg, short code);

} // namespace KvlXGlobal
