#pragma once

// Plugs the set-up windows into the command dispatcher under their names, as the program's start
// does; Uninstall takes them out again (for tests).
namespace KvlXGlobal {

void InstallSetupWindows();
void UninstallSetupWindows();

} // namespace KvlXGlobal
