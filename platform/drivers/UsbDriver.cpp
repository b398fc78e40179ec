#include "platform/drivers/UsbDriver.h"

#include "platform/drivers/SimulatedDevice.h"

#include <QByteArray>

#include <cstring>
#include <map>

namespace platform {

namespace {

std::map<int, SimulatedDevice*>& devices()
{
    static std::map<int, SimulatedDevice*> map;
    return map;
}

SimulatedDevice* deviceAt(int index)
{
    auto d = devices().find(index);
    return d == devices().end() ? nullptr : d->second;
}

} // namespace

int kvl_usb_init_system()
{
    if (devices().empty())
        return -1;
    int result = 0;
    for (auto& entry : devices()) {
        const int code = entry.second->reset();
        if (code != 0 && result == 0)
            result = code;
    }
    return result;
}

int kvl_usb_send_ascii(int device, const char* command, int length)
{
    SimulatedDevice* sim = deviceAt(device);
    if (!sim || !command || length < 0)
        return -1;
    // Exactly length bytes: the caller may send NUL and high bytes.
    return sim->receive(QByteArray(command, length));
}

int kvl_usb_get_ascii(int device, char* buffer, int bufferLength, int* count)
{
    if (count)
        *count = 0;
    SimulatedDevice* sim = deviceAt(device);
    if (!sim || !buffer || bufferLength <= 0)
        return -1;
    QByteArray bytes;
    const int code = sim->reply(bytes, bufferLength);
    if (code != 0)
        return code;
    if (bytes.isEmpty())
        return -1; // nothing came: the driver's time-out
    // A device that hands more than was asked for is cut to the buffer.
    const int n = bytes.size() < bufferLength ? static_cast<int>(bytes.size()) : bufferLength;
    std::memcpy(buffer, bytes.constData(), static_cast<size_t>(n));
    if (count)
        *count = n;
    return 0;
}

namespace drivers {

void installUsbDevice(int device, SimulatedDevice* sim)
{
    if (sim)
        devices()[device] = sim;
    else
        devices().erase(device);
}

void removeAllUsbDevices() { devices().clear(); }

SimulatedDevice* usbDevice(int device) { return deviceAt(device); }

} // namespace drivers

} // namespace platform
