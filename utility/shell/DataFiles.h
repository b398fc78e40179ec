#pragma once

#include <QString>

// Where the program's data files are found.
namespace KvlXGlobal {

// The program's folder: the executable's.
QString AppPath();
// Test seam: another folder; an empty text returns to the executable's.
void setAppPath(const QString& folder);
// The data file `name` (the model table, the templates, the help file): beside the program when
// it is there (the build puts them there), else in the installed data folder (share/moxtrel
// beside the program's bin/). A file in neither is named beside the program.
QString DataFile(const QString& name);

} // namespace KvlXGlobal
