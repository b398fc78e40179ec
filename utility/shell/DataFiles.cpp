#include "utility/shell/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace KvlXGlobal {

namespace {

QString g_appPath;

} // namespace

QString AppPath()
{
    if (!g_appPath.isEmpty())
        return g_appPath;
    return QCoreApplication::applicationDirPath();
}

void setAppPath(const QString& folder)
{
    g_appPath = folder;
}

QString DataFile(const QString& name)
{
    const QDir program(AppPath());
    const QString beside = program.filePath(name);
    if (QFileInfo(beside).isFile())
        return beside;
    // The build passes the installed data folder as seen from the installed program's folder.
    const QString installed = QDir(program.filePath(QStringLiteral(MOXTREL_DATA_FROM_BIN))).filePath(name);
    return QFileInfo(installed).isFile() ? QDir::cleanPath(installed) : beside;
}

} // namespace KvlXGlobal
