#include "library/link/VBIB32.h"

#include "platform/gpib/GpibLibrary.h"

#include <algorithm>

namespace VBIB32 {

short ibsta = 0;
short iberr = 0;
short ibcnt = 0;
qint32 ibcntl = 0;

namespace {

int g_status = 0;
int g_error = 0;
int g_count = 0;
long g_longCount = 0;
bool g_registered = false;

void registerGlobals()
{
    int result = platform::RegisterGpibGlobalsForThread(&g_status, &g_error, &g_count, &g_longCount);
    if (result == 0) {
        g_registered = true;
        return;
    }
    if (result == 1) {
        platform::UnregisterGpibGlobalsForThread();
        platform::RegisterGpibGlobalsForThread(&g_status, &g_error, &g_count, &g_longCount);
        g_registered = true;
        return;
    }
    if (result == 2 || result == 3)
        platform::UnregisterGpibGlobalsForThread();
    g_registered = false;
}

void before()
{
    if (!g_registered)
        registerGlobals();
}

short low16(qint64 v)
{
    return static_cast<short>(static_cast<quint16>(v & 0xFFFF));
}

// Copies the registered words into the module values. Without a registration the words say
// nothing about this call, so the call is marked as failed.
void after()
{
    if (!g_registered) {
        g_status = 0x8000;
        g_error = 0;
        g_longCount = static_cast<long>(0xDEAD37F0u);
    }
    ibsta = low16(g_status);
    iberr = low16(g_error);
    ibcntl = static_cast<qint32>(g_longCount);
    ibcnt = low16(ibcntl);
}

} // namespace

short ibdev(short board, short pad, short sad, short tmo, short eot, short eos)
{
    before();
    int ud = platform::ibdev(board, pad, sad, tmo, eot, eos);
    after();
    return low16(ud);
}

short ibclr(short ud)
{
    before();
    int status = platform::ibclr(ud);
    after();
    return low16(status);
}

short ibwrt(short ud, const QByteArray& text, qint32 count)
{
    before();
    long n = std::clamp<qint64>(count, 0, text.size());
    int status = platform::ibwrt(ud, text.constData(), n);
    after();
    return low16(status);
}

short ibrd(short ud, QByteArray& buffer, qint32 count)
{
    before();
    long n = std::clamp<qint64>(count, 0, buffer.size());
    int status = platform::ibrd(ud, buffer.data(), n);
    after();
    return low16(status);
}

short ibrsp(short ud, short& spr)
{
    before();
    char poll[2] = {0, 0};
    int status = platform::ibrsp(ud, poll);
    after();
    spr = static_cast<unsigned char>(poll[0]);
    return low16(status);
}

void ibtmo(short ud, short timeout)
{
    before();
    platform::ibtmo(ud, timeout);
    after();
}

void resetRegistration()
{
    g_registered = false;
}

} // namespace VBIB32
