#include "sim/SimDevice.h"

#include "platform/drivers/PciDriver.h"
#include "platform/drivers/UsbDriver.h"
#include "platform/gpib/GpibLibrary.h"
#include "sim/SimController.h"

SimDevice::SimDevice(SimController* controller)
{
    if (!controller) {
        m_own = std::make_unique<SimController>();
        controller = m_own.get();
    }
    m_controller = controller;
}

SimDevice::~SimDevice()
{
    uninstall();
}

void SimDevice::installOnGpib(int pad)
{
    platform::gpib::installInstrument(pad, this);
    m_places.append({Gpib, pad});
}

void SimDevice::installOnUsb(int index)
{
    platform::drivers::installUsbDevice(index, this);
    m_places.append({Usb, index});
}

void SimDevice::installOnPci(int board)
{
    platform::drivers::installPciBoard(board, this);
    m_places.append({Pci, board});
}

void SimDevice::uninstall()
{
    // Only the places that still hold this device: another may have taken one since.
    for (const auto& place : std::as_const(m_places)) {
        switch (place.first) {
        case Gpib:
            if (platform::gpib::instrument(place.second) == this)
                platform::gpib::installInstrument(place.second, nullptr);
            break;
        case Usb:
            if (platform::drivers::usbDevice(place.second) == this)
                platform::drivers::installUsbDevice(place.second, nullptr);
            break;
        case Pci:
            if (platform::drivers::pciBoard(place.second) == this)
                platform::drivers::installPciBoard(place.second, nullptr);
            break;
        }
    }
    m_places.clear();
}

int SimDevice::receive(const QByteArray& bytes)
{
    if (!m_controller)
        return SimController::VanishedCode;
    if (const int failure = m_controller->takeDriverFailure())
        return failure;
    m_controller->receive(bytes, true);
    return 0;
}

int SimDevice::reply(QByteArray& bytes, int capacity)
{
    bytes.clear();
    if (!m_controller)
        return SimController::VanishedCode;
    if (const int failure = m_controller->takeDriverFailure())
        return failure;
    if (capacity > 0)
        bytes = m_controller->takeReply(capacity);
    return 0;
}

int SimDevice::serialPoll()
{
    if (!m_controller || m_controller->isVanished())
        return SimController::VanishedCode;
    return m_controller->statusByte();
}

int SimDevice::reset()
{
    if (!m_controller)
        return SimController::VanishedCode;
    if (const int failure = m_controller->takeDriverFailure())
        return failure;
    m_controller->deviceClear();
    return 0;
}
