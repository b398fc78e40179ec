#include "utility/shell/BoundedFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Closes the descriptor however the read ends.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

BoundedFile::Outcome BoundedFile::read(const QString& path, QByteArray* bytes, QString* reason, qint64 limit)
{
    bytes->clear();
    // Opened without waiting, so a FIFO without a writer cannot hold the program at the open; its
    // kind is then taken from what was opened, not from the name, which may change meanwhile.
    Descriptor file{::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) {
        *reason = systemError(errno);
        return Outcome::NotOpened;
    }
    struct stat before {};
    if (::fstat(file.fd, &before) != 0) {
        *reason = systemError(errno);
        return Outcome::NotOpened;
    }
    if (!S_ISREG(before.st_mode)) {
        *reason = QStringLiteral("It is not a regular file: a folder, a device or a pipe cannot be read as one.");
        return Outcome::NotOpened;
    }
    if (before.st_size > limit) {
        *reason = QStringLiteral("It is %1 bytes long; no such file is longer than %2 bytes.")
                      .arg(qint64(before.st_size))
                      .arg(limit);
        return Outcome::NotOpened;
    }

    QByteArray content;
    content.reserve(qsizetype(before.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(file.fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *reason = systemError(errno);
            return Outcome::NotRead;
        }
        if (n == 0)
            break;
        content.append(chunk, qsizetype(n));
        if (content.size() > limit)
            break; // grew past any length it may have: the check below says so
    }
    struct stat after {};
    if (::fstat(file.fd, &after) != 0 || !sameFile(before, after) || content.size() != before.st_size) {
        *reason = QStringLiteral("It changed while it was read: it was %1 bytes long when it was opened, and %2 "
                                 "bytes were read.")
                      .arg(qint64(before.st_size))
                      .arg(content.size());
        return Outcome::NotRead;
    }
    *bytes = content;
    return Outcome::Read;
}
