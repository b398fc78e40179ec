#pragma once

// The status and information windows, plugged into the menus' commands under their names
// ("frmHardwareStatus", "frmAbout", "frmADC", "frmTest").
namespace KvlXGlobal {

void InstallStatusWindows();
// Takes them out again (for tests).
void UninstallStatusWindows();

} // namespace KvlXGlobal
