#pragma once

#include <QString>

// The program-wide procedures that bring the controller into a known state: opening the link,
// resetting the controller, identifying the model and its axes, reporting stages and amplifiers,
// saving to flash, demo mode, waits and the amplifier-power watch. They belong to the global
// module; the main window's limits lookup (frmMain::GetMaxAxes) lives with them.
namespace KvlXGlobal {

// Opens or re-initialises the link on the selected bus, resets the controller first when bReset
// is set, identifies the model and reports what it found in the wait window. A call made while an
// initialisation is already running is refused.
void InitializeController(bool bReset);
// True while InitializeController runs.
bool InitializeControllerBusy();

// Appends the amplifier and stage report of every axis to the wait window.
void DetectStages();

// Sends the reset, closes the link, gives the controller 18 s to restart, and opens it again.
// The link's tick stays off.
void ResetController();

// Asks, then writes the controller's parameters to its flash ("SM"); nothing in demo mode.
void SaveToFlash();

// The File menu's demo-mode switch.
void SetDemoMode();

// Waits ms milliseconds on the program clock, letting events run. Ends early when the link was
// open and closes, when the main window or its link goes away, or when the main window is asked
// to close.
void DelayMs(int ms);

// The amplifier-power watch on the PCI bus: asks to re-initialise when amplifier power has just
// come on. A check asked while one is still in progress (its question open) does nothing.
void CheckAmplifierPower();

// Hands start-up the controller initialisation, the bus window and the amplifier-power watch.
void InstallControllerHandlers();

// Default limits when the model cannot be looked up.
constexpr short DefaultMaxAxes = 6;
constexpr short DefaultMaxFeedbackAxes = 8;
constexpr short DefaultMaxDigitalChannels = 24;
constexpr short DefaultMaxAnalogChannels = 8;

// The model table's file name, in the program's folder.
inline QString ModelTableName() { return QStringLiteral("KVLAxes.ini"); }

} // namespace KvlXGlobal
