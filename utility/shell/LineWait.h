#pragma once

#include "utility/shell/CommLink.h"

// The waits of a long transfer on the link, with events running, so the program paints and the
// stop window takes its click while the line is busy. A serial line carries only so many
// characters a second: a transfer that writes faster than that would block in the port's write,
// and a read would wait on the line, each without events. Other buses write and read in their
// driver's own time, so these waits end at once there.
class LineWait {
public:
    // A transfer keeps no more than this much of the line's time queued ahead of it.
    static constexpr int AheadMs = 150;
    // How often a wait looks at the line.
    static constexpr int StepMs = 10;

    // Before a send: lets events run while the serial line has more than AheadMs still to carry
    // (at most that long and a read limit). False when the link has closed meanwhile.
    static bool roomToSend(CommLink& comm);
    // Before a separate read: lets events run until the serial port holds a whole line, or limitMs
    // has passed, or the link has closed. True when a read would hand a line on at once; on the
    // other buses true at once (their read waits itself).
    static bool lineCame(CommLink& comm, int limitMs);
};
