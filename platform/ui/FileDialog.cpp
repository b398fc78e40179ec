#include "platform/ui/FileDialog.h"

#include "platform/kernel/Clock.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

#include <mutex>

namespace platform {

namespace {

std::mutex g_handlerMutex;
FileDialogHandler g_handler;

QString runDialog(bool save, QWidget* parent, const QString& title, const QString& dir,
                  const QString& filter)
{
    FileDialogHandler handler;
    {
        std::lock_guard<std::mutex> guard(g_handlerMutex);
        handler = g_handler;
    }
    if (handler)
        return handler(save, title, dir, filter);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return QString();

    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!dir.isEmpty()) {
        const QFileInfo info(dir);
        if (info.isDir()) {
            dialog.setDirectory(info.absoluteFilePath());
        } else {
            dialog.setDirectory(info.absolutePath());
            dialog.selectFile(info.fileName());
        }
    }
    const QString qtFilter = toQtNameFilter(filter);
    if (!qtFilter.isEmpty())
        dialog.setNameFilters(qtFilter.split(QStringLiteral(";;"), Qt::SkipEmptyParts));
    // The dialog's own loop lets events run.
    Clock::PumpScope modal;
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

} // namespace

QString toQtNameFilter(const QString& filter)
{
    if (!filter.contains(QLatin1Char('|')))
        return filter;
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        // The original's descriptions often show their patterns already: "Text (*.txt)".
        if (description.endsWith(QLatin1Char(')'))) {
            const int open = description.lastIndexOf(QLatin1Char('('));
            if (open > 0)
                description = description.left(open).trimmed();
        }
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*"); // every file, with or without an extension
        }
        filters << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

void setFileDialogHandler(FileDialogHandler handler)
{
    std::lock_guard<std::mutex> guard(g_handlerMutex);
    g_handler = std::move(handler);
}

QString GetOpenFileName(QWidget* parent, const QString& title, const QString& dir, const QString& filter)
{
    return runDialog(false, parent, title, dir, filter);
}

QString GetSaveFileName(QWidget* parent, const QString& title, const QString& dir, const QString& filter)
{
    return runDialog(true, parent, title, dir, filter);
}

} // namespace platform
