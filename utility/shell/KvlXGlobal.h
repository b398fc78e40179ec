#pragma once

#include <QString>
#include <QStringList>

class Form;
class frmMain;

// What every window of the program shares: program-wide state, window places in the settings
// store, the error display, the one-line controller query, and text helpers.
namespace KvlXGlobal {

// --- program-wide state ------------------------------------------------------------------------

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

// --- start ---------------------------------------------------------------------------------------

// The unit names by units code, from the control library's table.
void InitUnitNames();

// The program's folder: the executable's.
QString AppPath();
// Test seam: another folder; an empty text returns to the executable's.
void setAppPath(const QString& folder);
// The data file `name` (the model table, the templates, the help file): beside the program when
// it is there (the build puts them there), else in the installed data folder (share/moxtrel
// beside the program's bin/). A file in neither is named beside the program.
QString DataFile(const QString& name);

// --- window places -------------------------------------------------------------------------------

// Window places are kept in twips in the section named after the window: "Left", "Top" and, for a
// sizable window, "Width" and "Height". Saved from the window's normal place, so a window closed
// while minimised or maximised opens normally next time.
void SaveFormPosition(Form* frm);
// Applies the stored values that are whole numbers; a missing or unreadable one keeps the
// window's own.
void RestoreFormPosition(Form* frm);
void SaveFormLeftTop(const QString& formName, int top, int left);
// Stores a cascade of places for every child window and moves the open ones into it.
void ResetDesktopLayout();
// Unloads every visible child window; hidden ones stay loaded.
void CloseChildForms();

// --- the error display and the controller --------------------------------------------------------

// Shows the error window and lists msg on its panel; code 1 (a communication time-out) asks
// instead whether to re-initialise the link or end the program. Returns 0.
short ShowError(const QString& msg, short code);
// Sends cmd with a carriage return and returns the cleaned reply; an empty or "No data" /
// "No Message" reply is reported in a box and returned all the same.
QString QueryController(const QString& cmd);
// A cleaned reply that carries no answer: empty, "No data" or "No Message".
bool IsUnusableReply(const QString& cleaned);
// The reply line without its terminator; a reply without one is no reply ("").
QString CleanReply(const QString& text);
// Reads (and discards) the controller's next error, unless in demo mode. Returns 0.
short ReadErrorMessage();

// --- text helpers ----------------------------------------------------------------------------------

// The hexadecimal digits before the first "H"; up to four digits are a 16-bit word, more a 32-bit
// one; no "H" or no digits give 0.
int HexToValue(const QString& text);
// Four binary digits for each leading hexadecimal digit, then "B" ("1F" -> "00011111B").
QString HexToBinary(const QString& text);
// The binary digit of weight 2^bitNo in a text from HexToBinary; 0 outside the text.
short GetBinaryBit(const QString& binText, short bitNo);
// Classifiers of a typed terminal line; the line is converted to upper case in place.
bool TrackProgramMode(QString& cmd, bool current);
bool IsResetCommand(QString& cmd);
bool IsListProgramCommand(QString& cmd);
// The text before the first CR LF, or "0" when there is none.
QString FirstReplyLine(const QString& text);
// The major version of the operating system.
int WindowsMajorVersion();

} // namespace KvlXGlobal
