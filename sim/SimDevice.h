#pragma once

#include "platform/drivers/SimulatedDevice.h"

#include <QList>
#include <QPair>
#include <QPointer>

#include <memory>

class SimController;

// Puts a SimController behind the in-process GPIB, USB and PCI stand-ins. Each driver call first
// takes the controller's scripted failure (failNext, vanish); one bus write is one message, so an
// unterminated command is still a complete line. Removed from every bus when destroyed.
class SimDevice : public platform::SimulatedDevice {
public:
    // Serves `controller` (not owned); with none, a controller of its own.
    explicit SimDevice(SimController* controller = nullptr);
    ~SimDevice() override;

    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    SimController& controller() { return *m_controller; }

    void installOnGpib(int pad);
    void installOnUsb(int index);
    void installOnPci(int board);
    // Takes the device off every bus it was put on.
    void uninstall();

    int receive(const QByteArray& bytes) override;
    int reply(QByteArray& bytes, int capacity) override;
    int serialPoll() override;
    int reset() override;

private:
    enum Bus { Gpib, Usb, Pci };

    std::unique_ptr<SimController> m_own;
    QPointer<SimController> m_controller;
    QList<QPair<Bus, int>> m_places;
};
