#include "platform/kernel/MachineLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using platform::MachineLock;

// The lock is machine-wide, so these tests run the test program itself a second (and third) time
// as a child process: when KVL_LOCK_TEST_CHILD is set, the child does its part before main() and
// exits. Each test points $KVL_LOCK_DIR at a folder of its own.

namespace {

const char* const kName = "KVLComm_ActiveX";
constexpr int kLineLength = 30;

// Writes lines of one character into a shared file, one character at a time with a short sleep
// in between, holding the lock (nested, as the library's members take it) for each whole line.
void writeLines(MachineLock* lock, const QByteArray& path, char c, int lines)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0)
        std::abort();
    for (int i = 0; i < lines; ++i) {
        if (lock) {
            lock->acquire();
            lock->acquire();
        }
        for (int k = 0; k < kLineLength; ++k) {
            if (::write(fd, &c, 1) != 1)
                std::abort();
            ::usleep(1000);
        }
        if (::write(fd, "\n", 1) != 1)
            std::abort();
        if (lock) {
            lock->release();
            lock->release();
        }
        ::usleep(500); // let another writer in between lines
    }
    ::close(fd);
}

void waitForFile(const QByteArray& path)
{
    for (int i = 0; i < 20000 && ::access(path.constData(), F_OK) != 0; ++i)
        ::usleep(500);
}

// Starts the writers: waits until each child writer is up, then lets them all go.
void startWriters(const QString& go, const QByteArray& chars)
{
    for (const char c : chars)
        waitForFile(QFile::encodeName(go) + ".ready" + c);
    QFile(go).open(QIODevice::WriteOnly);
}

int runChild(const QByteArray& mode)
{
    MachineLock lock(QString::fromLatin1(kName));
    if (mode == "writer" || mode == "writer-nolock") {
        // Tell the parent this writer is up, so every writer starts at the same moment however
        // slowly each process started.
        const QByteArray go = qgetenv("KVL_LOCK_TEST_GO");
        ::close(::open((go + ".ready" + qgetenv("KVL_LOCK_TEST_CHAR")).constData(), O_WRONLY | O_CREAT, 0644));
        waitForFile(go);
        writeLines(mode == "writer" ? &lock : nullptr, qgetenv("KVL_LOCK_TEST_FILE"),
                   qgetenv("KVL_LOCK_TEST_CHAR").at(0), qgetenv("KVL_LOCK_TEST_LINES").toInt());
        return 0;
    }
    if (mode == "holder") {
        lock.acquire();
        lock.acquire();
        std::printf("held\n");
        std::fflush(stdout);
        for (;;)
            ::pause(); // until killed
    }
    return 2;
}

const bool g_isChild = [] {
    const QByteArray mode = qgetenv("KVL_LOCK_TEST_CHILD");
    if (!mode.isEmpty())
        ::_exit(runChild(mode));
    return false;
}();

// Whether another open of the lock file could take the lock now, as another process would.
bool freeForOtherProcesses(const QString& name)
{
    const int fd = ::open(QFile::encodeName(MachineLock::lockFilePath(name)).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd); // drops the lock again
    return free;
}

// Whether another thread of this process could take the lock now (using its own object).
bool freeForOtherThreads(const QString& name)
{
    bool taken = false;
    std::thread other([&] {
        MachineLock mine(name);
        taken = mine.tryAcquire();
        if (taken)
            mine.release();
    });
    other.join();
    return taken;
}

// Lines that are not kLineLength copies of one character: a sign that two writers interleaved.
int badLines(const QByteArray& text, QMap<char, int>* counts = nullptr)
{
    int bad = 0;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        if (line.size() != kLineLength || line.count(line.at(0)) != kLineLength)
            ++bad;
        else if (counts)
            ++(*counts)[line.at(0)];
    }
    return bad;
}

class MachineLockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldDir = qgetenv("KVL_LOCK_DIR");
        m_hadDir = qEnvironmentVariableIsSet("KVL_LOCK_DIR");
        qputenv("KVL_LOCK_DIR", QFile::encodeName(m_dir.filePath(QStringLiteral("locks"))));
    }
    void TearDown() override
    {
        if (m_hadDir)
            qputenv("KVL_LOCK_DIR", m_oldDir);
        else
            qunsetenv("KVL_LOCK_DIR");
    }

    QProcess* startChild(const QByteArray& mode, const QMap<QByteArray, QByteArray>& vars = {})
    {
        auto* p = new QProcess;
        m_children.emplace_back(p);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KVL_LOCK_TEST_CHILD"), QString::fromLatin1(mode));
        for (auto it = vars.begin(); it != vars.end(); ++it)
            env.insert(QString::fromLatin1(it.key()), QString::fromLocal8Bit(it.value()));
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::SeparateChannels);
        p->start(QCoreApplication::applicationFilePath(), {});
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QByteArray m_oldDir;
    bool m_hadDir = false;
    std::vector<std::unique_ptr<QProcess>> m_children;
};

} // namespace

TEST_F(MachineLockTest, TwoProcessesAndAThreadNeverInterleaveLines)
{
    const QString out = path(QStringLiteral("lines.txt"));
    const QString go = path(QStringLiteral("go"));
    const QMap<QByteArray, QByteArray> common{{"KVL_LOCK_TEST_FILE", QFile::encodeName(out)},
                                              {"KVL_LOCK_TEST_GO", QFile::encodeName(go)},
                                              {"KVL_LOCK_TEST_LINES", "12"}};
    auto a = common;
    a.insert("KVL_LOCK_TEST_CHAR", "A");
    auto b = common;
    b.insert("KVL_LOCK_TEST_CHAR", "B");
    QProcess* pa = startChild("writer", a);
    QProcess* pb = startChild("writer", b);

    // A thread of this process writes too, through a lock object of its own.
    std::thread local([&] {
        MachineLock lock(QString::fromLatin1(kName));
        ASSERT_TRUE(lock.isValid());
        waitForFile(QFile::encodeName(go));
        writeLines(&lock, QFile::encodeName(out), 'P', 12);
    });
    startWriters(go, "AB");

    EXPECT_TRUE(pa->waitForFinished(60000));
    EXPECT_TRUE(pb->waitForFinished(60000));
    local.join();
    EXPECT_EQ(pa->exitCode(), 0);
    EXPECT_EQ(pb->exitCode(), 0);

    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QMap<char, int> counts;
    EXPECT_EQ(badLines(text, &counts), 0) << text.constData();
    EXPECT_EQ(counts.value('A'), 12);
    EXPECT_EQ(counts.value('B'), 12);
    EXPECT_EQ(counts.value('P'), 12);
}

TEST_F(MachineLockTest, WithoutTheLockTheSameWritersDoInterleave)
{
    // The check of the test above would see interleaving if there were any.
    const QString out = path(QStringLiteral("lines.txt"));
    const QString go = path(QStringLiteral("go"));
    const QMap<QByteArray, QByteArray> common{{"KVL_LOCK_TEST_FILE", QFile::encodeName(out)},
                                              {"KVL_LOCK_TEST_GO", QFile::encodeName(go)},
                                              {"KVL_LOCK_TEST_LINES", "8"}};
    auto a = common;
    a.insert("KVL_LOCK_TEST_CHAR", "A");
    auto b = common;
    b.insert("KVL_LOCK_TEST_CHAR", "B");
    QProcess* pa = startChild("writer-nolock", a);
    QProcess* pb = startChild("writer-nolock", b);
    startWriters(go, "AB");
    EXPECT_TRUE(pa->waitForFinished(60000));
    EXPECT_TRUE(pb->waitForFinished(60000));
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_GT(badLines(file.readAll()), 0);
}

TEST_F(MachineLockTest, NestedTakesOnOneThreadSucceedAndCount)
{
    const QString name = QString::fromLatin1(kName);
    MachineLock lock(name);
    ASSERT_TRUE(lock.isValid());
    EXPECT_TRUE(QFile::exists(MachineLock::lockFilePath(name)));
    EXPECT_TRUE(MachineLock::lockFilePath(name).startsWith(MachineLock::lockDirectory()));
    EXPECT_TRUE(MachineLock::lockFilePath(name).endsWith(QStringLiteral("/KVLComm_ActiveX.lock")));
    EXPECT_TRUE(freeForOtherProcesses(name));

    lock.acquire();
    lock.acquire();
    EXPECT_TRUE(lock.tryAcquire());
    EXPECT_EQ(lock.depth(), 3);
    EXPECT_TRUE(lock.isHeldByCurrentThread());
    EXPECT_FALSE(freeForOtherProcesses(name));
    EXPECT_FALSE(freeForOtherThreads(name));

    // A second object of the same name is a second handle of the same lock.
    {
        MachineLock again(name);
        EXPECT_TRUE(again.isHeldByCurrentThread());
        again.acquire();
        EXPECT_EQ(lock.depth(), 4);
        again.release();
    }
    EXPECT_EQ(lock.depth(), 3);

    // Another thread cannot release what it does not hold.
    std::thread([&] { lock.release(); }).join();
    EXPECT_EQ(lock.depth(), 3);

    lock.release();
    lock.release();
    EXPECT_EQ(lock.depth(), 1);
    EXPECT_FALSE(freeForOtherProcesses(name));
    EXPECT_FALSE(freeForOtherThreads(name));
    lock.release();
    EXPECT_EQ(lock.depth(), 0);
    EXPECT_FALSE(lock.isHeldByCurrentThread());
    EXPECT_TRUE(freeForOtherProcesses(name));
    EXPECT_TRUE(freeForOtherThreads(name));

    // One release too many changes nothing.
    lock.release();
    EXPECT_TRUE(lock.tryAcquire());
    EXPECT_EQ(lock.depth(), 1);
    lock.release();

    // A thread that waits gets the lock once the holder releases it.
    lock.acquire();
    std::atomic<bool> got{false};
    std::thread waiter([&] {
        MachineLock mine(name);
        mine.acquire();
        got = true;
        mine.release();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(got.load());
    lock.release();
    waiter.join();
    EXPECT_TRUE(got.load());

    // The last handle going away while held gives the lock back.
    {
        MachineLock last(QStringLiteral("Other"));
        last.acquire();
        last.acquire();
        EXPECT_FALSE(freeForOtherProcesses(QStringLiteral("Other")));
    }
    EXPECT_TRUE(freeForOtherProcesses(QStringLiteral("Other")));
}

TEST_F(MachineLockTest, AnotherProcessWaitsAndALockOfADeadHolderIsFreeAgain)
{
    const QString name = QString::fromLatin1(kName);
    MachineLock lock(name);
    ASSERT_TRUE(lock.isValid());

    // While this process holds the lock, the child waits for it.
    lock.acquire();
    QProcess* holder = startChild("holder");
    EXPECT_FALSE(holder->waitForReadyRead(300));
    lock.release();
    ASSERT_TRUE(holder->waitForReadyRead(10000));
    EXPECT_EQ(holder->readLine().trimmed(), QByteArray("held"));

    // Now the child holds it.
    EXPECT_FALSE(lock.tryAcquire());
    EXPECT_FALSE(freeForOtherProcesses(name));

    // Killed while holding it (twice over), it leaves the lock free.
    holder->kill(); // SIGKILL
    ASSERT_TRUE(holder->waitForFinished(10000));
    EXPECT_EQ(holder->exitStatus(), QProcess::CrashExit);
    EXPECT_TRUE(lock.tryAcquire());
    lock.release();
    lock.acquire();
    lock.release();
}

TEST_F(MachineLockTest, ALockThatCannotBeOpenedIsUnusableButHarmless)
{
    // The lock folder lies below a plain file, so no lock file can be made.
    QFile blocker(path(QStringLiteral("plain")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("KVL_LOCK_DIR", QFile::encodeName(path(QStringLiteral("plain/locks"))));
    EXPECT_EQ(MachineLock::lockDirectory(), path(QStringLiteral("plain/locks")));

    MachineLock lock(QString::fromLatin1(kName));
    EXPECT_FALSE(lock.isValid());
    lock.acquire();
    EXPECT_FALSE(lock.isHeldByCurrentThread());
    EXPECT_FALSE(lock.tryAcquire());
    lock.release();

    // Without $KVL_LOCK_DIR the locks live in the temporary folder.
    qunsetenv("KVL_LOCK_DIR");
    EXPECT_EQ(MachineLock::lockDirectory(), QDir::tempPath());
}
