#include "tests/support/CutCableDevice.h"

int CutCableDevice::receive(const QByteArray& bytes)
{
    writes << int(bytes.size());
    if (m_left == 0)
        return 0;
    if (m_left > 0)
        --m_left;
    return SimDevice::receive(bytes);
}

int CutCableDevice::reply(QByteArray& bytes, int capacity)
{
    if (m_left == 0) {
        bytes.clear();
        return 0;
    }
    return SimDevice::reply(bytes, capacity);
}
