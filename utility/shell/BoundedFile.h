#pragma once

#include <QByteArray>
#include <QString>

// Reads a file the program was pointed at, whole, and only a file that can be read whole: a
// regular file no longer than a limit, whose length does not change while it is read. A FIFO, a
// device such as /dev/zero or a folder is refused before a read could block or run on without end.
class BoundedFile {
public:
    static constexpr qint64 DefaultLimit = 16 * 1024 * 1024;

    enum class Outcome {
        Read,      // *bytes holds the whole file (possibly empty)
        NotOpened, // missing, not permitted, not a regular file or too long: nothing was read
        NotRead,   // a read failed, or the file changed while it was read
    };

    // The file's bytes; otherwise the reason, without the path, in *reason.
    static Outcome read(const QString& path, QByteArray* bytes, QString* reason, qint64 limit = DefaultLimit);
};
