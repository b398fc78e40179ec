#pragma once

#include "sim/SimController.h"
#include "sim/SimDevice.h"

#include <QList>

// The simulated controller behind a cable that can be pulled: after a given number of bus writes
// every further write is lost without an error (the driver reports it sent), and nothing more is
// heard from the controller. It records the size of every write.
class CutCableDevice : public SimDevice {
public:
    using SimDevice::SimDevice;

    // The cable comes out after `writes` more writes have reached the controller.
    void cutAfter(int writes) { m_left = writes; }
    bool isCut() const { return m_left == 0; }

    int receive(const QByteArray& bytes) override;
    int reply(QByteArray& bytes, int capacity) override;

    QList<int> writes;

private:
    int m_left = -1;
};
