#pragma once

#include <functional>

namespace platform {

class RuntimeError;

// The boundary an exception that leaves an event handler ends at, so it never ends the program.
// Runs run(); a link failure (RuntimeError::isLinkFailure) goes to onLinkFailure when one is given;
// every other exception, and one that onLinkFailure throws in turn, is shown in a box in the form
// of the link's failure report. Returns false when run() ended with an exception.
bool guardEvent(const std::function<void()>& run,
                const std::function<void(const RuntimeError&)>& onLinkFailure = {});

} // namespace platform
