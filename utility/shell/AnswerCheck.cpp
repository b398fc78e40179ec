#include "utility/shell/AnswerCheck.h"

#include "library/link/BusType.h"
#include "library/link/KVLComm.h"
#include "library/link/LinkTransport.h"
#include "platform/kernel/Clock.h"
#include "utility/shell/ControllerQuery.h"
#include "utility/shell/LineWait.h"

bool AnswerCheck::controllerAnswers(CommLink comm, int bus, QString* why)
{
    const QString query = QString::fromLatin1(Query);
    QString heard;
    // A long transfer is still on the line: the program paints and takes clicks while it goes.
    const qint64 busyMs = comm.isNull() ? 0 : comm.LineBusyMs();
    if (busyMs > 0)
        platform::Clock::pumpUntil([&comm] { return comm.isNull() || comm.LineBusyMs() == 0; }, int(busyMs) + 1000, 20);
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        // Each ask is a go of its own: events run (a stop click) before it asks again.
        if (attempt > 0)
            platform::Clock::pumpFor(KVLComm::AskAgainAfterMs);
        if (comm.isNull() || bus == BUS_TYPE_NONE || comm.BusType() != bus || !comm.IsOpen()) {
            *why = QStringLiteral("The link to the controller was lost.");
            return false;
        }
        QString reply(255, QLatin1Char(' '));
        int status = -1;
        bool answered = false;
        if (bus == BUS_TYPE_RS232) {
            // A query's read waits on the line without events: here the answer is waited for with
            // them, and read once it has come. The identification (the answer of this ask or of
            // the one before) shows the controller answers after the transfer.
            status = comm.SendAscii(query + QLatin1Char('\r'));
            if (status == 0 && LineWait::lineCame(comm, LinkTransport::ReplyLimitMs))
                status = comm.ReadAscii(reply);
            else if (status == 0)
                status = -1;
            answered = status == 0 && LinkTransport::readsAsIdentification(reply);
        } else {
            status = comm.SendReadAscii(query + QLatin1Char('\r'), reply);
        }
        const QString cleaned = KvlXGlobal::CleanReply(reply);
        if (status == 0 && !KvlXGlobal::IsUnusableReply(cleaned) && (answered || bus != BUS_TYPE_RS232))
            return true;
        if (!cleaned.isEmpty())
            heard = cleaned;
    }
    *why = heard.isEmpty()
        ? QStringLiteral("The controller did not answer \"%1\" afterwards.").arg(query)
        : QStringLiteral("The controller answered \"%1\" with \"%2\" afterwards.").arg(query, heard);
    return false;
}
