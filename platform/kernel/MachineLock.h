#pragma once

#include <QString>

namespace platform {

// A named lock shared by every process on the machine (the named mutex of the original).
// Owned per thread and counting: a thread that holds it may take it again at once, and must
// release it as often as it took it. The system releases it when the holding process dies.
//
// Every MachineLock of one name in a process shares one state (one lock file, one thread mutex,
// one count), so two objects of the same name behave as two handles of one mutex.
class MachineLock {
public:
    // Opens (creating when needed) the lock of this name. Returns false when it cannot, in which
    // case the object stays unusable and callers run without the lock.
    explicit MachineLock(const QString& name);
    ~MachineLock();
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

    bool isValid() const;

    // Waits without time limit.
    void acquire();
    // Waits at most timeoutMs on the program clock (a nested take succeeds at once). Returns
    // whether it was taken; an invalid lock returns false.
    bool acquireFor(int timeoutMs);
    // Takes the lock only when that needs no waiting (a nested take always succeeds). Returns
    // whether it was taken; an invalid lock returns false.
    bool tryAcquire();
    // Gives back one take. A thread that does not hold the lock changes nothing (as releasing a
    // mutex one does not own fails).
    void release();

    // Whether the calling thread holds the lock, and how many takes it holds.
    bool isHeldByCurrentThread() const;
    int depth() const;

    // Where the lock files live: $KVL_LOCK_DIR when set, else the system's temporary folder.
    static QString lockDirectory();
    // The lock file of a name.
    static QString lockFilePath(const QString& name);

private:
    struct Shared;
    Shared* m_shared = nullptr;
};

} // namespace platform
