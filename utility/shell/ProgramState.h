#pragma once

#include <QString>
#include <QStringList>

// What the program knows of the connected controller and of its own run, shared by every window.
namespace KvlXGlobal {

extern short gMaxAxes;             // axes of the connected controller
extern short gMaxFeedbackAxes;     // axes with feedback
extern short gMaxDigitalChannels;
extern short gMaxAnalogChannels;
extern QString gModel;             // model word of the controller's identification reply
constexpr int UnitNameCount = 12;
extern QString gUnitNames[UnitNameCount]; // unit name by units code
extern short gBusChoice;           // 0 to 5, the bus option last chosen (5: serial over a USB port)
extern bool gFirstRun;             // the bus-selection window opens at start
extern bool gCommBroken;           // the link reported a failure
extern bool gDemoMode;             // demo mode switched on from the File menu
extern bool gAppClosing;           // the main window has begun to close
extern bool gAmplifierPresent;
extern bool gAmpPowerOn;
extern bool gAmpPowerWasOn;
extern QStringList gChildFormNames; // the child windows, in the order the desktop layout uses
constexpr int OldParamAxes = 6;
constexpr int OldParamPositions = 44;
extern QString gOldParams[OldParamAxes + 1][OldParamPositions]; // [axis 1..6][position]; row 0 unused

// The unit names by units code, from the control library's table.
void InitUnitNames();
// The major version of the operating system.
int WindowsMajorVersion();

} // namespace KvlXGlobal
