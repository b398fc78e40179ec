#pragma once

#include <QString>
#include <functional>

namespace platform {

// Opens a document or a web address with the program the desktop associates with it (the shell's
// open of the original): a local path (absolute or relative to the working folder) or a URL such
// as "https://..." or "file:///...". Returns whether the desktop accepted it.
bool ShellOpen(const QString& pathOrUrl);

// ShellOpen for what the user asked to see (the help file, the home page): when no program could
// be started to show it, a box says so rather than nothing happening.
bool ShowDocument(const QString& pathOrUrl);

// Test seam: a handler that answers instead of opening; it receives the text as passed. Pass an
// empty function to open for real again.
using ShellOpenHandler = std::function<bool(const QString& pathOrUrl)>;
void setShellOpenHandler(ShellOpenHandler handler);

} // namespace platform
