#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class frmMain;
class KVLComm;
class SimController;
class SimPtyThread;

// A main window started the way the program starts it, on a settings store and a program folder
// of its own, with every message box answered and recorded, and a simulated controller on the
// serial port when a test asks for one.
class ShellRig {
public:
    struct Box {
        QString prompt;
        int style = 0;
        QString title;
    };

    // The serial port number the rig maps to its simulator.
    static constexpr int SimPort = 7;

    ShellRig();
    ~ShellRig();
    ShellRig(const ShellRig&) = delete;
    ShellRig& operator=(const ShellRig&) = delete;

    QString folder() const { return m_dir.path(); }
    void store(const QString& section, const QString& key, const QString& value);
    QString stored(const QString& section, const QString& key) const;
    // Writes the settings file's text as a person would by hand.
    void writeStoreText(const QByteArray& text);

    // Boxes asked so far, and how the next are answered (default: the first button).
    QList<Box> boxes;
    std::function<int(const Box&)> answer;
    // The prompts asked, in order.
    QStringList prompts() const;

    // The simulated controller behind serial port SimPort; stores a link to it that skips the
    // first-run window.
    void useSerialLink();
    void withSim(const std::function<void(SimController&)>& f);
    // Paces the simulated line at `baud` (0: no pacing).
    void setSimBaud(int baud);
    // Every Nth reply of the simulated line lateMs late (0: none).
    void setSimLateEvery(int n, int lateMs);
    QStringList simLines();
    void closeSim();

    // Creates the main window and runs its load.
    frmMain* start();
    frmMain* main() const { return m_main.get(); }
    KVLComm* comm() const;
    // Destroys the main window (after a close, as the program's end does).
    void destroyMain();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SimPtyThread> m_sim;
    std::unique_ptr<frmMain> m_main;
};
