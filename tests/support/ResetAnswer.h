#pragma once

#include "tests/support/ShellRig.h"

#include <QString>

#include <functional>

// The program asks whether to reset the controller each time it opens the link at start or after
// a bus change. A test that is not about that question answers it No, so the controller keeps what
// the test set up in it.
namespace ResetAnswer {

using Handler = std::function<int(const ShellRig::Box&)>;

// The question, as the program asks it.
QString prompt();

// A box handler that answers the reset question No and hands every other box to others; without
// others, every other box is answered OK.
Handler no(Handler others = {});

} // namespace ResetAnswer
