#include "platform/gpib/GpibLibrary.h"

#include "platform/RuntimeError.h"
#include "platform/drivers/SimulatedDevice.h"

#include <QByteArray>
#include <QString>

#include <cstring>
#include <dlfcn.h>
#include <map>

namespace platform {

namespace {

// The status words this thread registered; the library writes them after every call.
struct RegisteredWords {
    int* status = nullptr;
    int* error = nullptr;
    int* count = nullptr;
    long* longCount = nullptr;
    bool registered = false;
};
thread_local RegisteredWords t_words;

int g_forcedRegistration = -1;

void publish(int status, int error, long count)
{
    if (!t_words.registered)
        return;
    if (t_words.status)
        *t_words.status = status;
    if (t_words.error)
        *t_words.error = error;
    if (t_words.count)
        *t_words.count = static_cast<int>(count);
    if (t_words.longCount)
        *t_words.longCount = count;
}

// --- simulated instruments ------------------------------------------------------------------

enum : int { MaxTimeoutCode = 17, MaxPad = 30 };

struct Unit {
    int pad = 0;
    int timeout = 0;
};

std::map<int, SimulatedDevice*>& instruments()
{
    static std::map<int, SimulatedDevice*> map;
    return map;
}

std::map<int, Unit>& units()
{
    static std::map<int, Unit> map;
    return map;
}

int g_nextUnit = 1;

bool simulating() { return !instruments().empty(); }

int fail(int error, long count = 0)
{
    const int status = gpib::ERR;
    publish(status, error, count);
    return status;
}

int done(int status, long count = 0)
{
    publish(status, 0, count);
    return status;
}

// The instrument behind a unit descriptor; sets the error status when there is none.
SimulatedDevice* deviceFor(int ud, Unit** unit = nullptr)
{
    auto u = units().find(ud);
    if (u == units().end()) {
        fail(gpib::EDVR);
        return nullptr;
    }
    auto d = instruments().find(u->second.pad);
    if (d == instruments().end() || !d->second) {
        fail(gpib::ENOL);
        return nullptr;
    }
    if (unit)
        *unit = &u->second;
    return d->second;
}

int simIbdev(int board, int pad, int sad, int tmo)
{
    if (board != 0) {
        fail(gpib::ENEB);
        return -1;
    }
    if (pad < 0 || pad > MaxPad || (sad != 0 && (sad < 0x60 || sad > 0x7E)) || tmo < 0
        || tmo > MaxTimeoutCode) {
        fail(gpib::EARG);
        return -1;
    }
    auto d = instruments().find(pad);
    if (d == instruments().end() || !d->second) {
        fail(gpib::ENOL);
        return -1;
    }
    const int ud = g_nextUnit++;
    units()[ud] = Unit{pad, tmo};
    done(gpib::CMPL);
    return ud;
}

int simIbclr(int ud)
{
    SimulatedDevice* device = deviceFor(ud);
    if (!device)
        return gpib::ERR;
    if (device->reset() != 0)
        return fail(gpib::ENOL);
    return done(gpib::CMPL);
}

int simIbwrt(int ud, const void* buffer, long count)
{
    if (!buffer || count < 0)
        return fail(gpib::EARG);
    SimulatedDevice* device = deviceFor(ud);
    if (!device)
        return gpib::ERR;
    if (count == 0)
        return done(gpib::CMPL);
    // Exactly count bytes: firmware lines carry NUL and high bytes.
    const QByteArray bytes(static_cast<const char*>(buffer), static_cast<qsizetype>(count));
    if (device->receive(bytes) != 0)
        return fail(gpib::ENOL);
    return done(gpib::CMPL | gpib::END, count);
}

int simIbrd(int ud, void* buffer, long count)
{
    if (!buffer || count < 0)
        return fail(gpib::EARG);
    SimulatedDevice* device = deviceFor(ud);
    if (!device)
        return gpib::ERR;
    QByteArray bytes;
    const int capacity = count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(count);
    const int code = capacity > 0 ? device->reply(bytes, capacity) : 0;
    if (code != 0 || bytes.isEmpty()) {
        const int status = gpib::ERR | gpib::TIMO;
        publish(status, gpib::EABO, 0);
        return status;
    }
    // A device that hands more than was asked for is cut to the buffer.
    const long n = bytes.size() < capacity ? bytes.size() : capacity;
    std::memcpy(buffer, bytes.constData(), static_cast<size_t>(n));
    int status = gpib::CMPL;
    if (n < count || bytes.at(n - 1) == '\n')
        status |= gpib::END;
    return done(status, n);
}

int simIbrsp(int ud, char* spr)
{
    if (!spr)
        return fail(gpib::EARG);
    SimulatedDevice* device = deviceFor(ud);
    if (!device)
        return gpib::ERR;
    const int byte = device->serialPoll();
    if (byte < 0)
        return fail(gpib::ENOL);
    *spr = static_cast<char>(byte & 0xFF);
    return done(gpib::CMPL, 1);
}

int simIbtmo(int ud, int timeout)
{
    if (timeout < 0 || timeout > MaxTimeoutCode)
        return fail(gpib::EARG);
    Unit* unit = nullptr;
    if (!deviceFor(ud, &unit))
        return gpib::ERR;
    unit->timeout = timeout;
    return done(gpib::CMPL);
}

// --- the machine's GPIB library ---------------------------------------------------------------

const char* const LibraryName = "libgpib.so.0";

struct MachineLibrary {
    void* handle = nullptr;
    int (*ibdev)(int, int, int, int, int, int) = nullptr;
    int (*ibclr)(int) = nullptr;
    int (*ibwrt)(int, const void*, long) = nullptr;
    int (*ibrd)(int, void*, long) = nullptr;
    int (*ibrsp)(int, char*) = nullptr;
    int (*ibtmo)(int, int) = nullptr;
    int (*threadIbsta)() = nullptr;
    int (*threadIberr)() = nullptr;
    long (*threadIbcntl)() = nullptr;
    int (*threadIbcnt)() = nullptr;
};

template <typename F>
void resolve(void* handle, const char* name, F& target)
{
    target = reinterpret_cast<F>(dlsym(handle, name));
    if (!target) {
        dlclose(handle);
        throw RuntimeError(453, QStringLiteral("Can't find DLL entry point %1 in %2")
                                    .arg(QLatin1String(name), QLatin1String(LibraryName)),
                           QStringLiteral("KVL410ActiveX"));
    }
}

// Loaded at the first call; a library that cannot be loaded is looked for again at the next call.
MachineLibrary& machineLibrary()
{
    static MachineLibrary lib;
    if (lib.handle)
        return lib;
    void* handle = dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw RuntimeError(53, QStringLiteral("File not found: %1").arg(QLatin1String(LibraryName)),
                           QStringLiteral("KVL410ActiveX"));
    MachineLibrary found;
    resolve(handle, "ibdev", found.ibdev);
    resolve(handle, "ibclr", found.ibclr);
    resolve(handle, "ibwrt", found.ibwrt);
    resolve(handle, "ibrd", found.ibrd);
    resolve(handle, "ibrsp", found.ibrsp);
    resolve(handle, "ibtmo", found.ibtmo);
    resolve(handle, "ThreadIbsta", found.threadIbsta);
    resolve(handle, "ThreadIberr", found.threadIberr);
    found.threadIbcntl = reinterpret_cast<long (*)()>(dlsym(handle, "ThreadIbcntl"));
    if (!found.threadIbcntl)
        resolve(handle, "ThreadIbcnt", found.threadIbcnt);
    found.handle = handle;
    lib = found;
    return lib;
}

int copyMachineStatus(const MachineLibrary& lib, int result)
{
    const long count = lib.threadIbcntl ? lib.threadIbcntl() : lib.threadIbcnt();
    publish(lib.threadIbsta(), lib.threadIberr(), count);
    return result;
}

} // namespace

int ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    if (simulating())
        return simIbdev(board, pad, sad, tmo);
    MachineLibrary& lib = machineLibrary();
    return copyMachineStatus(lib, lib.ibdev(board, pad, sad, tmo, eot, eos));
}

int ibclr(int ud)
{
    if (simulating())
        return simIbclr(ud);
    MachineLibrary& lib = machineLibrary();
    return copyMachineStatus(lib, lib.ibclr(ud));
}

int ibwrt(int ud, const void* buffer, long count)
{
    if (simulating())
        return simIbwrt(ud, buffer, count);
    MachineLibrary& lib = machineLibrary();
    if (!buffer || count < 0)
        return fail(gpib::EARG);
    return copyMachineStatus(lib, lib.ibwrt(ud, buffer, count));
}

int ibrd(int ud, void* buffer, long count)
{
    if (simulating())
        return simIbrd(ud, buffer, count);
    MachineLibrary& lib = machineLibrary();
    if (!buffer || count < 0)
        return fail(gpib::EARG);
    return copyMachineStatus(lib, lib.ibrd(ud, buffer, count));
}

int ibrsp(int ud, char* spr)
{
    if (simulating())
        return simIbrsp(ud, spr);
    MachineLibrary& lib = machineLibrary();
    if (!spr)
        return fail(gpib::EARG);
    return copyMachineStatus(lib, lib.ibrsp(ud, spr));
}

int ibtmo(int ud, int timeout)
{
    if (simulating())
        return simIbtmo(ud, timeout);
    MachineLibrary& lib = machineLibrary();
    return copyMachineStatus(lib, lib.ibtmo(ud, timeout));
}

int RegisterGpibGlobalsForThread(int* status, int* error, int* count, long* longCount)
{
    const bool forced = g_forcedRegistration != -1;
    const int result = forced ? g_forcedRegistration : (t_words.registered ? 1 : 0);
    // A forced 0 or 1 still registers, so the words are written as after a real registration.
    if (result == 0 || (forced && result == 1))
        t_words = RegisteredWords{status, error, count, longCount, true};
    return result;
}

int UnregisterGpibGlobalsForThread()
{
    t_words = RegisteredWords{};
    return 0;
}

namespace gpib {

void installInstrument(int pad, SimulatedDevice* device)
{
    if (device)
        instruments()[pad] = device;
    else
        instruments().erase(pad);
}

void removeAllInstruments()
{
    instruments().clear();
    units().clear();
}

SimulatedDevice* instrument(int pad)
{
    auto d = instruments().find(pad);
    return d == instruments().end() ? nullptr : d->second;
}

void forceRegistrationResult(int result) { g_forcedRegistration = result; }

} // namespace gpib

} // namespace platform
