#include "utility/shell/LineWait.h"

#include "library/link/BusType.h"
#include "library/link/LinkTransport.h"
#include "platform/kernel/Clock.h"

namespace {

bool serialOpen(CommLink& comm)
{
    return !comm.isNull() && comm.IsOpen() && comm.BusType() == BUS_TYPE_RS232;
}

} // namespace

bool LineWait::roomToSend(CommLink& comm)
{
    const qint64 busyMs = comm.isNull() ? 0 : comm.LineBusyMs();
    if (busyMs > AheadMs) {
        platform::Clock::pumpUntil([&comm] { return comm.isNull() || !comm.IsOpen() || comm.LineBusyMs() <= AheadMs; },
                                   int(busyMs - AheadMs) + LinkTransport::ReplyLimitMs, StepMs);
    }
    return !comm.isNull() && comm.IsOpen();
}

bool LineWait::lineCame(CommLink& comm, int limitMs)
{
    if (!serialOpen(comm))
        return !comm.isNull() && comm.IsOpen();
    if (comm.LineWaiting())
        return true;
    return platform::Clock::pumpUntil([&comm] { return !serialOpen(comm) || comm.LineWaiting(); }, limitMs, StepMs)
        && serialOpen(comm);
}
