#pragma once

// The maker's USB library, as the control library calls it. With no device installed no device is
// found: initialisation returns -1 and so does every exchange.

namespace platform {

class SimulatedDevice;

int kvl_usb_init_system();
int kvl_usb_send_ascii(int device, const char* command, int length);
// Receives at most bufferLength bytes into buffer (not NUL-terminated); *count is how many came.
int kvl_usb_get_ascii(int device, char* buffer, int bufferLength, int* count);

namespace drivers {
// Test seam: puts a device at index `device` (nullptr removes it). The caller keeps ownership.
void installUsbDevice(int device, SimulatedDevice* sim);
void removeAllUsbDevices();
// The device at index `device`, or nullptr.
SimulatedDevice* usbDevice(int device);
} // namespace drivers

} // namespace platform
