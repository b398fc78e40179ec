#pragma once

#include <QByteArray>

namespace platform {

// A device that a test (or the simulated controller) puts behind the GPIB, USB or PCI stand-in in
// place of real hardware. Codes are the driver's: 0 is success, anything else is passed on.
class SimulatedDevice {
public:
    virtual ~SimulatedDevice() = default;

    // Takes bytes the host wrote. Returns the driver's code.
    virtual int receive(const QByteArray& bytes) = 0;

    // Hands at most capacity bytes of the next reply. Returns the driver's code; code 0 with no
    // bytes means nothing came (a timeout on the real bus).
    virtual int reply(QByteArray& bytes, int capacity) = 0;

    // The GPIB serial-poll status byte (0 to 255); a negative value is the driver's failure code.
    virtual int serialPoll() { return 0; }

    // A device clear (GPIB) or a driver initialisation (USB, PCI). Returns the driver's code.
    virtual int reset() { return 0; }
};

} // namespace platform
