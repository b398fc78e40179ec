#pragma once

#include <QString>
#include <functional>
#include <memory>

class QThread;
class QObject;
class SimController;
class SimPty;

// The simulated controller on a pseudo-terminal, served from a thread of its own. The serial link
// reads with a blocking wait on the port, so a simulator on the test's own thread could never
// answer; here it answers at once. Everything the test asks of the controller runs on its thread.
class SimPtyThread {
public:
    SimPtyThread();
    ~SimPtyThread();
    SimPtyThread(const SimPtyThread&) = delete;
    SimPtyThread& operator=(const SimPtyThread&) = delete;

    bool isOpen() const { return !m_slavePath.isEmpty(); }
    QString slavePath() const { return m_slavePath; }

    // Runs f with the controller on the simulator's thread and waits for it.
    void with(const std::function<void(SimController&)>& f);
    // The same with the pseudo-terminal (pacing, log, counts).
    void withPty(const std::function<void(SimPty&)>& f);
    // Closes the terminal: the device vanishes under the host.
    void close();

private:
    void onThread(const std::function<void()>& f);

    std::unique_ptr<QThread> m_thread;
    QObject* m_context = nullptr;
    SimController* m_controller = nullptr;
    SimPty* m_pty = nullptr;
    QString m_slavePath;
};
