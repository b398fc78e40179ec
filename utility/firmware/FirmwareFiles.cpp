#include "utility/firmware/FirmwareFiles.h"

#include "utility/shell/BoundedFile.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

QString g_home;
QString g_temporary;

QString homeFolder()
{
    return g_home.isEmpty() ? QDir::homePath() : g_home;
}

QString temporaryFolder()
{
    if (!g_temporary.isEmpty())
        return g_temporary;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    return cache.isEmpty() ? QDir::tempPath() : cache;
}

} // namespace

QString FirmwareFiles::dialogFolder(const QString& model, const QString& sub)
{
    const QString folder = QDir(homeFolder()).filePath(QStringLiteral("Tarvelle/KVL Motion Controllers/Controllers/")
                                                       + model + QLatin1Char('/') + sub);
    QDir().mkpath(folder); // a folder that cannot be made leaves the dialog to start elsewhere
    return folder;
}

QString FirmwareFiles::temporaryCopyPath(const QString& name)
{
    const QString folder = temporaryFolder();
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

bool FirmwareFiles::copy(const QString& source, const QString& target, QString* error)
{
    QByteArray bytes;
    if (!readAll(source, &bytes, error))
        return false;
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        *error = QStringLiteral("The temporary copy ") + QDir::toNativeSeparators(target)
            + QStringLiteral(" could not be written: ") + out.errorString();
        return false;
    }
    return true;
}

bool FirmwareFiles::readAll(const QString& path, QByteArray* bytes, QString* error)
{
    QString reason;
    switch (BoundedFile::read(path, bytes, &reason, ImageLimit)) {
    case BoundedFile::Outcome::Read:
        return true;
    case BoundedFile::Outcome::NotOpened:
        *error = QStringLiteral("The file ") + QDir::toNativeSeparators(path) + QStringLiteral(" could not be opened: ")
            + reason;
        return false;
    case BoundedFile::Outcome::NotRead:
        break;
    }
    *error = QStringLiteral("The file ") + QDir::toNativeSeparators(path)
        + QStringLiteral(" could not be read to its end: ") + reason;
    return false;
}

QList<QByteArray> FirmwareFiles::lines(const QByteArray& image)
{
    QList<QByteArray> result;
    qsizetype start = 0;
    const qsizetype n = image.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = image.at(i);
        if (c != '\r' && c != '\n')
            continue;
        result.append(image.mid(start, i - start));
        if (c == '\r' && i + 1 < n && image.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        result.append(image.mid(start));
    return result;
}

void FirmwareFiles::setHomeFolder(const QString& folder)
{
    g_home = folder;
}

void FirmwareFiles::setTemporaryFolder(const QString& folder)
{
    g_temporary = folder;
}
