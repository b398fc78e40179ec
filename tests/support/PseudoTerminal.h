#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair for tests: the code under test opens slavePath() as its serial device,
// the test talks through the master side. The master is raw, so bytes pass unchanged both ways.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // False when the pair could not be made (then slavePath() is empty).
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Writes all bytes to the master (what the device sends to the host); false on failure.
    bool writeMaster(const QByteArray& bytes);
    // What the host wrote: waits up to timeoutMs for the first bytes (also while the host has the
    // slave closed), then takes everything that follows without a pause of 50 ms. Empty when
    // nothing came.
    QByteArray readMaster(int timeoutMs);
    // Closes the master: the device vanishes under whoever holds the slave.
    void close();

private:
    int m_master = -1;
    QString m_slavePath;
};
