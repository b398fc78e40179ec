#pragma once

#include "sim/SimController.h"
#include "sim/SimDevice.h"

#include <QByteArray>
#include <QList>

// The simulated controller behind faults a driver does not report:
// - a cable that can be pulled: after a given number of bus writes every further write is lost
//   while the driver reports it sent, and nothing more is heard from the controller;
// - a controller that keeps talking: every read finds one more status line, the program clock
//   having moved on by the time between two of them.
// It records the size of every write.
class FaultyDevice : public SimDevice {
public:
    using SimDevice::SimDevice;

    // The cable comes out after `writes` more writes have reached the controller.
    void cutAfter(int writes) { m_left = writes; }
    bool isCut() const { return m_left == 0; }
    // From now on a read with no reply waiting gets `line` (with its line end), everyMs after the
    // last one; an empty line stops it.
    void talkEvery(const QByteArray& line, int everyMs);
    int talked() const { return m_talked; }

    int receive(const QByteArray& bytes) override;
    int reply(QByteArray& bytes, int capacity) override;

    QList<int> writes;

private:
    int m_left = -1;
    QByteArray m_talk;
    int m_talkEveryMs = 0;
    int m_talked = 0;
};
