#include "platform/kernel/MachineLock.h"

#include "platform/kernel/Clock.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The state of one name, shared by every MachineLock of that name in this process.
// threadMutex keeps the threads of this process apart; the flock on fd keeps processes apart.
// depth and the flock are only touched by the thread that owns threadMutex.
struct LockState {
    int fd = -1;
    std::recursive_mutex threadMutex;
    std::atomic<std::thread::id> owner{};
    int depth = 0;
    int handles = 0; // MachineLock objects using this state (guarded by the registry mutex)
};

std::mutex& registryMutex()
{
    static std::mutex m;
    return m;
}

// Lock file path -> state.
std::map<QString, LockState*>& registry()
{
    static std::map<QString, LockState*> r;
    return r;
}

// A name is used as a file name: path separators become underscores.
QString fileNameFor(const QString& name)
{
    QString n = name;
    n.replace(QLatin1Char('/'), QLatin1Char('_'));
    n.replace(QLatin1Char('\\'), QLatin1Char('_'));
    if (n.isEmpty() || n == QLatin1String(".") || n == QLatin1String(".."))
        n = QStringLiteral("_") + n;
    return n + QStringLiteral(".lock");
}

int openLockFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        // Another user's lock file: a read-only descriptor takes the same lock.
        do {
            fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd >= 0) {
        // Let every user of the machine share the lock (best effort; umask may have narrowed it).
        ::fchmod(fd, 0666);
    }
    return fd;
}

bool lockFile(int fd, bool wait)
{
    int r;
    do {
        r = ::flock(fd, wait ? LOCK_EX : (LOCK_EX | LOCK_NB));
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

void unlockFile(int fd)
{
    int r;
    do {
        r = ::flock(fd, LOCK_UN);
    } while (r != 0 && errno == EINTR);
}

} // namespace

struct MachineLock::Shared : LockState {};

QString MachineLock::lockDirectory()
{
    const QString dir = qEnvironmentVariable("KVL_LOCK_DIR");
    return dir.isEmpty() ? QDir::tempPath() : dir;
}

QString MachineLock::lockFilePath(const QString& name)
{
    return QDir(lockDirectory()).filePath(fileNameFor(name));
}

MachineLock::MachineLock(const QString& name)
{
    const QString path = lockFilePath(name);
    std::lock_guard<std::mutex> guard(registryMutex());
    auto& reg = registry();
    // The key is the file, so a change of $KVL_LOCK_DIR gives a new lock.
    auto it = reg.find(path);
    if (it == reg.end()) {
        QDir().mkpath(lockDirectory());
        const int fd = openLockFile(path);
        if (fd < 0)
            return; // m_shared stays empty: the lock is unusable
        auto* shared = new Shared;
        shared->fd = fd;
        it = reg.emplace(path, shared).first;
    }
    m_shared = static_cast<Shared*>(it->second);
    ++m_shared->handles;
}

MachineLock::~MachineLock()
{
    if (!m_shared)
        return;
    // A thread that still holds the lock through its last handle gives it back.
    Shared* s = m_shared;
    std::lock_guard<std::mutex> guard(registryMutex());
    if (--s->handles > 0)
        return;
    if (s->owner.load() == std::this_thread::get_id()) {
        while (s->depth > 0) {
            if (--s->depth == 0) {
                unlockFile(s->fd);
                s->owner.store(std::thread::id());
            }
            s->threadMutex.unlock();
        }
    } else if (s->depth > 0) {
        // Held by another thread of this process: the state must outlive that hold, so it stays
        // registered (a new MachineLock of the name picks it up again).
        return;
    }
    auto& reg = registry();
    for (auto it = reg.begin(); it != reg.end(); ++it) {
        if (it->second == s) {
            reg.erase(it);
            break;
        }
    }
    ::close(s->fd);
    delete s;
}

bool MachineLock::isValid() const
{
    return m_shared != nullptr;
}

void MachineLock::acquire()
{
    if (!m_shared)
        return;
    Shared* s = m_shared;
    s->threadMutex.lock();
    if (s->depth == 0) {
        // Waits for other processes. Should the call fail (it does not for a valid descriptor),
        // the threads of this process are still kept apart.
        lockFile(s->fd, true);
        s->owner.store(std::this_thread::get_id());
    }
    ++s->depth;
}

bool MachineLock::acquireFor(int timeoutMs)
{
    if (!m_shared)
        return false;
    const qint64 deadline = Clock::tickMs() + std::max(timeoutMs, 0);
    for (;;) {
        if (tryAcquire())
            return true;
        const qint64 left = deadline - Clock::tickMs();
        if (left <= 0)
            return false;
        // The holder gives no signal when it lets go: look again every few milliseconds (with the
        // test clock, in long steps, so a test of the limit takes little real time).
        const int step = Clock::isManual() ? 2000 : 5;
        Clock::blockFor(int(std::min<qint64>(left, step)), [](int ms) { QThread::msleep(ulong(ms)); });
    }
}

bool MachineLock::tryAcquire()
{
    if (!m_shared)
        return false;
    Shared* s = m_shared;
    if (!s->threadMutex.try_lock())
        return false;
    if (s->depth == 0) {
        if (!lockFile(s->fd, false)) {
            s->threadMutex.unlock();
            return false;
        }
        s->owner.store(std::this_thread::get_id());
    }
    ++s->depth;
    return true;
}

void MachineLock::release()
{
    if (!m_shared)
        return;
    Shared* s = m_shared;
    if (s->owner.load() != std::this_thread::get_id())
        return; // not ours to release
    if (--s->depth == 0) {
        unlockFile(s->fd);
        s->owner.store(std::thread::id());
    }
    s->threadMutex.unlock();
}

bool MachineLock::isHeldByCurrentThread() const
{
    return m_shared && m_shared->owner.load() == std::this_thread::get_id();
}

int MachineLock::depth() const
{
    return isHeldByCurrentThread() ? m_shared->depth : 0;
}

} // namespace platform
