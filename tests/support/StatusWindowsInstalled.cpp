#include "tests/support/StatusWindowsInstalled.h"

#include "utility/status/StatusWindows.h"

StatusWindowsInstalled::StatusWindowsInstalled()
{
    KvlXGlobal::InstallStatusWindows();
}

StatusWindowsInstalled::~StatusWindowsInstalled()
{
    KvlXGlobal::UninstallStatusWindows();
}
