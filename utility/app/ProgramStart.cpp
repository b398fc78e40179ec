#include "utility/app/ProgramStart.h"

#include "utility/files/ParameterFiles.h"
#include "utility/firmware/statusFlash.h"
#include "utility/setup/SetupWindows.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"
#include "utility/status/StatusWindows.h"
#include "utility/terminal/frmTerminal.h"

namespace KvlXGlobal {

frmMain* Main()
{
    InitUnitNames();
    InstallProgramParts();
    auto* main = new frmMain();
    main->Show();
    return main;
}

void InstallProgramParts()
{
    InstallControllerHandlers();
    InstallParameterFileHandlers();
    statusFlash::Install();
    InstallSetupWindows();
    frmTerminal::Install();
    InstallStatusWindows();
}

} // namespace KvlXGlobal
