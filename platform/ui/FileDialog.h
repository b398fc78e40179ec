#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace platform {

// The common file dialogs. dir is the folder to start in, or a file path whose folder is started
// in with its name preselected. filter is either Qt's form ("Text files (*.txt);;All files (*)")
// or the original's ("Text files (*.txt)|*.txt|All files (*.*)|*.*"). Returns the chosen file's
// path, or an empty string when the user cancels.
QString GetOpenFileName(QWidget* parent, const QString& title, const QString& dir = QString(),
                        const QString& filter = QString());
// As GetOpenFileName for a file to write; the dialog asks before an existing file is replaced.
QString GetSaveFileName(QWidget* parent, const QString& title, const QString& dir = QString(),
                        const QString& filter = QString());

// Test seam: a handler that answers instead of showing a dialog. It receives the arguments
// exactly as the caller passed them and returns the chosen path ("" for a cancel). Pass an empty
// function to show real dialogs again.
using FileDialogHandler =
    std::function<QString(bool save, const QString& title, const QString& dir, const QString& filter)>;
void setFileDialogHandler(FileDialogHandler handler);

// The original's filter text ("desc|pattern|desc|pattern") in Qt's name-filter form; a filter
// without '|' is returned unchanged.
QString toQtNameFilter(const QString& filter);

} // namespace platform
