#pragma once

class frmMain;

// Where the program is put together: the windows above the shell are plugged into its dispatcher
// here, so the shell never names them.
namespace KvlXGlobal {

// Fills the unit names, plugs in the program's parts, creates the main window and shows it (its
// load runs as part of that).
frmMain* Main();
// Plugs in the windows, procedures and handlers that the program's parts offer; Main does it
// first. A part that plugs itself in is installed here, so a test of every window finds it.
void InstallProgramParts();

} // namespace KvlXGlobal
