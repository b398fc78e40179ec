#pragma once

#include <QString>

// The File menu's parameter files: sending a command file to the controller, saving the
// controller's parameters as such a file, and converting a file of the old key/value format.
// Command files are 8-bit text; any of CR LF, LF and CR ends a line on reading, and every file
// written ends its lines with CR LF and replaces its target only when it is complete.
namespace KvlXGlobal {

// Sends a command file chosen by the user line by line, showing the progress.
void RestoreFromFile();
// Queries the parameters the save template names and writes them as a command file.
void SaveParametersToFile();
// Converts an old-format parameter file into a command file for gMaxAxes axes.
void ConvertParameterFile();

// Reads the whole old-format file at path into gOldParams, which is emptied first. False (with
// the reason, naming the line, in *error) when the file cannot be read or is not of that format;
// gOldParams is then left empty.
bool ParseOldParameterLine(const QString& path, QString* error = nullptr);
// Writes the command file converted from gOldParams for axes 1 to gMaxAxes to path. Checks every
// value first: false (with the reason in *error, and nothing written) when gMaxAxes is not 1 to 6,
// a configuration cell holds no whole number, or the file cannot be written.
bool WriteAxisCommandFile(const QString& path, QString* error = nullptr);

// The open dialog with the given title and filter until the user cancels (empty result) or picks
// a file that exists; a name that does not exist is reported with " not found!".
QString ChooseExistingFile(const QString& title, const QString& filter);

// True while a restore or a save runs.
bool ParameterFileBusy();

// Plugs the three commands into the menus' dispatcher.
void InstallParameterFileHandlers();

} // namespace KvlXGlobal
