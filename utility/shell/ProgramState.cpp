#include "utility/shell/ProgramState.h"

#include "library/link/Global.h"
#include "platform/kernel/OsVersion.h"

using namespace platform;

namespace KvlXGlobal {

short gMaxAxes = 0;
short gMaxFeedbackAxes = 0;
short gMaxDigitalChannels = 0;
short gMaxAnalogChannels = 0;
QString gModel;
QString gUnitNames[UnitNameCount];
short gBusChoice = 0;
bool gFirstRun = false;
bool gCommBroken = false;
bool gDemoMode = false;
bool gAppClosing = false;
bool gAmplifierPresent = false;
bool gAmpPowerOn = false;
bool gAmpPowerWasOn = false;
QStringList gChildFormNames;
QString gOldParams[OldParamAxes + 1][OldParamPositions];

void InitUnitNames()
{
    // The same names as the control library's table, in the program's own copy.
    Global::InitUnitNames();
    for (int code = 0; code < UnitNameCount; ++code)
        gUnitNames[code] = Global::gUnitNames[code];
}

int WindowsMajorVersion()
{
    return GetVersionEx().majorVersion & 0xFF;
}

} // namespace KvlXGlobal
