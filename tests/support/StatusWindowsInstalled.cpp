#include "tests/support/StatusWindowsInstalled.h"

#include "utility/status/StatusWindows.h"
#include "utility/terminal/frmTerminal.h"

StatusWindowsInstalled::StatusWindowsInstalled()
{
    KvlXGlobal::InstallStatusWindows();
    frmTerminal::Install();
}

StatusWindowsInstalled::~StatusWindowsInstalled()
{
    frmTerminal::Uninstall();
    KvlXGlobal::UninstallStatusWindows();
}
