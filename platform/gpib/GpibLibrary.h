#pragma once

// The GPIB library calls (NI-488.2's C interface). The first call loads the machine's GPIB library
// (libgpib.so.0, whose calls have the same names); when none can be loaded and no simulated
// instrument is installed, every call raises platform::RuntimeError 53
// ("File not found: libgpib.so.0"), as a missing library does.
//
// Status words: ERR (0x8000) marks a failed call; iberr then holds the reason.

namespace platform {

class SimulatedDevice;

namespace gpib {
enum : int { ERR = 0x8000, TIMO = 0x4000, END = 0x2000, CMPL = 0x0100 };
enum : int { EDVR = 0, ENOL = 2, EARG = 4, EABO = 6, ENEB = 7 };
}

int ibdev(int board, int pad, int sad, int tmo, int eot, int eos);
int ibclr(int ud);
int ibwrt(int ud, const void* buffer, long count);
int ibrd(int ud, void* buffer, long count);
int ibrsp(int ud, char* spr);
int ibtmo(int ud, int timeout);

// The library writes its status words into these after every call on this thread.
// Results: 0 registered; 1 already registered; 2 or 3 registered elsewhere; other values failure.
int RegisterGpibGlobalsForThread(int* status, int* error, int* count, long* longCount);
int UnregisterGpibGlobalsForThread();

namespace gpib {
// Test seam: puts an instrument at primary address pad (nullptr removes it); with any instrument
// installed, the machine's library is not loaded. The caller keeps ownership.
void installInstrument(int pad, SimulatedDevice* device);
void removeAllInstruments();
// The instrument at pad, or nullptr.
SimulatedDevice* instrument(int pad);
// Test seam: the result the next RegisterGpibGlobalsForThread calls return (-1 restores normal).
void forceRegistrationResult(int result);
} // namespace gpib

} // namespace platform
