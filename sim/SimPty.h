#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QSocketNotifier;
class SimController;

// Serves a SimController on a pseudo-terminal: a serial port opened on slavePath() talks to it.
// Every complete line is answered at once. The pseudo-terminal keeps a handle on its own slave, so
// the serial side may be opened and closed any number of times. When the controller vanishes the
// master is closed, and the open serial port sees a read error.
class SimPty : public QObject {
    Q_OBJECT
public:
    // Serves `controller` (not owned); with none, a controller of its own.
    explicit SimPty(SimController* controller = nullptr, QObject* parent = nullptr);
    ~SimPty() override;

    // Opens the pseudo-terminal in raw mode. False, with errorString(), when it cannot.
    bool open();
    bool isOpen() const { return m_master >= 0; }
    // The device a serial port opens, such as /dev/pts/5; empty before open().
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

    SimController& controller() { return *m_controller; }

    // Closes the master (the device is gone for the serial side).
    void close();

signals:
    void closed();

private:
    void readMaster();
    void writeReplies();
    void flushPending();

    std::unique_ptr<SimController> m_own;
    QPointer<SimController> m_controller;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_error;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArray m_pending;
};
