#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The files of a firmware download: the folder the file dialogs start in, the temporary copies
// the download works from, and reading an image whole.
class FirmwareFiles {
public:
    // No image of any model is longer: a longer file (or a device that never ends) is refused.
    static constexpr qint64 ImageLimit = 16 * 1024 * 1024;

    // <home>/Tarvelle/KVL Motion Controllers/Controllers/<model>/<sub>, made when it is missing so
    // the dialog opens where the images belong.
    static QString dialogFolder(const QString& model, const QString& sub);
    // The temporary copy `name` ("tmp.xxx") in the program's cache folder, which is made when
    // missing: the program's own folder need not be writable.
    static QString temporaryCopyPath(const QString& name);

    // Copies source over target whole or not at all. False with the reason.
    static bool copy(const QString& source, const QString& target, QString* error);
    // Reads the whole image, a regular file of at most ImageLimit bytes. False with the reason
    // otherwise.
    static bool readAll(const QString& path, QByteArray* bytes, QString* error);
    // The image's lines without their ends (CR LF, CR or LF); a last line without an end counts.
    static QList<QByteArray> lines(const QByteArray& image);

    // Test seams: other folders for the home and for the copies; empty returns to the usual ones.
    static void setHomeFolder(const QString& folder);
    static void setTemporaryFolder(const QString& folder);
};
