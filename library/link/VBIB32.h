#pragma once

#include <QByteArray>
#include <QtGlobal>

// The control library's binding to the GPIB library: the six calls KVLComm makes, each copying the
// library's status words into the module-wide values after the call. The status words are
// registered with the library once, before the first call.
namespace VBIB32 {

extern short ibsta;   // bit 0x8000 is the error bit, 0x2000 the end of the device's message
extern short iberr;
extern short ibcnt;   // low 16 bits of ibcntl
extern qint32 ibcntl;

constexpr short ERR = short(0x8000);
constexpr short END = short(0x2000);

short ibdev(short board, short pad, short sad, short tmo, short eot, short eos);
short ibclr(short ud);
// Writes exactly count bytes of text (never more than text holds).
short ibwrt(short ud, const QByteArray& text, qint32 count);
// Reads into buffer (its length is kept; at most count bytes are replaced).
short ibrd(short ud, QByteArray& buffer, qint32 count);
short ibrsp(short ud, short& spr);
void ibtmo(short ud, short timeout);

// Test seam: forget the registration so the next call registers again.
void resetRegistration();

} // namespace VBIB32
