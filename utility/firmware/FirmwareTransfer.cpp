#include "utility/firmware/FirmwareTransfer.h"

#include "library/link/BusType.h"
#include "platform/kernel/Clock.h"
#include "utility/firmware/FirmwareFiles.h"
#include "utility/shell/EventWait.h"
#include "utility/shell/LineWait.h"

#include <algorithm>
#include <cmath>

namespace {

const char kEtx = '\x03';

int percent(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return 100;
    return int(std::clamp<double>(std::nearbyint(double(part) / double(whole) * 100.0), 0.0, 100.0));
}

} // namespace

FirmwareTransfer::FirmwareTransfer(CommLink comm, int bus)
    : m_comm(comm)
    , m_bus(bus)
{
}

bool FirmwareTransfer::downloadLines(const QByteArray& image, const QString& command, bool readyAtStart,
                                     bool etxRule)
{
    if (!checked(m_comm.SendAscii(command), QStringLiteral("the download command")))
        return false;
    if (erasing)
        erasing();
    QString reply;
    if (!waitFor(reply, QStringLiteral("Ready"), readyAtStart, 1000, EraseLimitMs))
        return false;
    if (sendingLines)
        sendingLines();

    const qint64 total = image.size();
    qint64 sent = 0;
    for (QByteArray line : FirmwareFiles::lines(image)) {
        sent += line.size();
        if (!etxRule || !line.contains(kEtx))
            line += '\r';
        if (!checked(sendBytes(line), QStringLiteral("a line of the image")))
            return false;
        if (progress)
            progress(percent(sent, total));
    }

    reply.clear();
    return waitFor(reply, QStringLiteral("Done"), false, 1000, DoneLimitMs);
}

bool FirmwareTransfer::waitFor(QString& reply, const QString& word, bool atStart, int stepMs, int limitMs)
{
    const qint64 end = platform::Clock::tickMs() + limitMs;
    for (;;) {
        if (atStart ? reply.startsWith(word) : reply.contains(word))
            return true;
        const qint64 left = end - platform::Clock::tickMs();
        if (left <= 0) {
            m_failure = QStringLiteral("The controller did not answer \"%1\" within %2 seconds.")
                            .arg(word)
                            .arg(limitMs / 1000);
            return false;
        }
        // A read on the serial port waits on the line without events: it is made once a line has
        // come, watched with them running.
        if (m_bus == BUS_TYPE_RS232) {
            const bool came = LineWait::lineCame(m_comm, int(std::min<qint64>(stepMs, left)));
            if (!linkUsable())
                return false;
            if (!came)
                continue;
        } else if (!pause(stepMs)) {
            return false;
        }
        m_comm.ReadAscii(reply);
    }
}

int FirmwareTransfer::sendBytes(const QByteArray& bytes)
{
    // A write that outran the line would wait in the port, with nothing painted.
    if (!LineWait::roomToSend(m_comm))
        return -1;
    return m_comm.SendAsciiNoTerm(QString::fromLatin1(bytes)).toInt();
}

bool FirmwareTransfer::checked(int status, const QString& what)
{
    if (status == 0 && linkUsable())
        return true;
    if (m_failure.isEmpty())
        m_failure = QStringLiteral("Sending %1 to the controller failed (status %2).").arg(what).arg(status);
    return false;
}

bool FirmwareTransfer::linkUsable()
{
    if (m_comm.isNull()) {
        m_failure = QStringLiteral("The program's link to the controller has gone.");
        return false;
    }
    if (!m_comm.IsOpen() || m_comm.BusType() != m_bus) {
        m_failure = QStringLiteral("The link to the controller was lost.");
        return false;
    }
    return true;
}

bool FirmwareTransfer::pause(int ms)
{
    EventWait::pumpFor(ms);
    return linkUsable();
}
