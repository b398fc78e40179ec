#include "library/link/Rs232Transport.h"

#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"
#include "platform/serial/SerialControl.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Slices of the read's wait: the deadline is checked at least this often.
constexpr int kWaitSliceMs = 250;

// Keeps the control's timer off for an exchange and puts it back as it was.
class TimerPause {
public:
    explicit TimerPause(QTimer* timer) : m_timer(timer), m_wasOn(timer->isActive()) { m_timer->stop(); }
    ~TimerPause()
    {
        if (m_wasOn)
            m_timer->start();
    }
    TimerPause(const TimerPause&) = delete;
    TimerPause& operator=(const TimerPause&) = delete;

private:
    QTimer* m_timer;
    bool m_wasOn;
};

} // namespace

Rs232Transport::Rs232Transport(platform::SerialControl* serial, QTimer* timer)
    : m_serial(serial), m_timer(timer)
{
}

void Rs232Transport::openPort()
{
    if (m_serial->PortOpen())
        return;
    m_serial->setPortOpen(true);
    // Nothing that came before the link opened is a reply.
    forget();
    m_serial->setInBufferCount(0);
    if (m_serial->InBufferCount() > 0)
        m_serial->Input();
}

void Rs232Transport::forget()
{
    m_buffer.clear();
    m_overflowed = false;
    m_owed = false;
}

int Rs232Transport::initStep(int)
{
    openPort();
    return 0;
}

int Rs232Transport::openStep(int, bool&)
{
    openPort();
    return 0;
}

int Rs232Transport::close()
{
    if (m_serial->PortOpen())
        m_serial->setOutBufferCount(0);
    return closeAfterFailure();
}

int Rs232Transport::closeAfterFailure()
{
    m_owed = false;
    if (m_serial->PortOpen()) {
        if (m_serial->InBufferCount() >= 1)
            m_serial->Input();
        m_serial->setPortOpen(false);
    }
    return 0;
}

void Rs232Transport::letGo()
{
    try {
        if (m_serial->PortOpen())
            m_serial->setPortOpen(false);
    } catch (const platform::RuntimeError&) {
    }
    forget();
}

void Rs232Transport::owe(qint64 sentAt)
{
    m_owed = true;
    m_owedUntil = sentAt + LateReplyLimitMs;
}

bool Rs232Transport::owedLineLost() const
{
    return m_owed && platform::Clock::tickMs() >= m_owedUntil;
}

void Rs232Transport::settleOwed()
{
    if (!m_owed)
        return;
    if (m_serial->PortOpen() && m_serial->InBufferCount() > 0)
        takeIn(m_serial->Input());
    if (owedLineLost())
        m_owed = false;
}

void Rs232Transport::takeIn(QByteArray bytes)
{
    m_takenIn += bytes.size();
    while (!bytes.isEmpty()) {
        if (m_owed) {
            const qsizetype lineFeed = bytes.indexOf('\n');
            if (lineFeed < 0) {
                // A line still coming is not lost yet.
                m_owedUntil = std::max(m_owedUntil, platform::Clock::tickMs() + OwedLineQuietMs);
                return;
            }
            bytes.remove(0, lineFeed + 1);
            m_owed = false;
            continue;
        }
        const qsizetype room = std::max<qsizetype>(0, ReplyBufferLength - m_buffer.size());
        if (m_buffer.contains('\n')) {
            // A whole reply waits; what follows it is kept only as far as the buffer goes.
            m_buffer.append(bytes.left(room));
            return;
        }
        const qsizetype lineFeed = bytes.indexOf('\n');
        if ((lineFeed >= 0 && lineFeed < room) || bytes.size() <= room) {
            m_buffer.append(bytes.left(room));
            return;
        }
        // A line longer than the buffer: no reader gets any of it, up to its end.
        m_overflowed = true;
        m_buffer.clear();
        bytes.remove(0, room);
        owe(platform::Clock::tickMs());
    }
}

void Rs232Transport::discardWaiting()
{
    if (m_serial->PortOpen() && m_serial->InBufferCount() > 0)
        takeIn(m_serial->Input());
    m_buffer.clear();
    m_overflowed = false;
}

int Rs232Transport::write(const QByteArray& command, bool addTerm)
{
    if (!m_serial->PortOpen())
        return -1;
    QByteArray bytes = command;
    if (addTerm) {
        const QString trimmed = trimBlanks(fromAnsi(command));
        const bool terminated = !trimmed.isEmpty()
            && (trimmed.endsWith(QLatin1Char('\r')) || trimmed.endsWith(QLatin1Char('\n')));
        if (!terminated)
            bytes.append('\r');
    }
    m_serial->setOutput(bytes);
    return 0;
}

int Rs232Transport::send(const QByteArray& command)
{
    settleOwed();
    return write(command, true);
}

QVariant Rs232Transport::sendNoTerm(const QByteArray& command)
{
    settleOwed();
    return QVariant(write(command, false));
}

bool Rs232Transport::waitUntil(const std::function<bool()>& done, qint64 deadline)
{
    // What may already wait is taken first; after that, only what a wait saw come.
    bool arrived = true;
    for (;;) {
        // One take per pass, so a line that never stops still meets the deadline.
        const QByteArray input = arrived && m_serial->PortOpen() ? m_serial->Input() : QByteArray();
        if (!input.isEmpty())
            takeIn(input);
        if (done())
            return true;
        if (!m_serial->PortOpen())
            return false;
        const qint64 left = deadline - platform::Clock::tickMs();
        if (left <= 0)
            return false;
        arrived = false;
        platform::Clock::blockFor(int(std::min<qint64>(left, kWaitSliceMs)),
                                  [this, &arrived](int ms) { arrived = m_serial->waitForInput(ms); });
    }
}

Rs232Transport::Collected Rs232Transport::collect(qint64 deadline)
{
    waitUntil([this] { return m_overflowed || m_buffer.contains('\n'); }, deadline);
    Collected got;
    got.overflowed = std::exchange(m_overflowed, false);
    got.text = std::exchange(m_buffer, QByteArray());
    got.lineEnded = !got.overflowed && got.text.contains('\n');
    return got;
}

int Rs232Transport::read(QString& reply)
{
    TimerPause pause(m_timer);
    const Collected got = collect(platform::Clock::tickMs() + ReplyLimitMs);
    // A separate read hands over what came, a cut-off line included; a line too long is none.
    if (got.overflowed) {
        reply.clear();
        return -1;
    }
    reply = trimBlanks(fromAnsi(got.text));
    return got.text.isEmpty() ? -1 : 0;
}

int Rs232Transport::sendRead(const QByteArray& command, QString& reply)
{
    TimerPause pause(m_timer);
    reply.clear();
    if (!m_serial->PortOpen())
        return write(command, true);
    const qint64 deadline = platform::Clock::tickMs() + ReplyLimitMs;
    // The rest of a line an earlier query gave up on must come, and go, before this query is sent:
    // once two queries are out, a reply can no longer be told from the other's.
    settleOwed();
    if (m_owed) {
        const qint64 takenBefore = m_takenIn;
        // The owed line's own limit moves on while it is still coming.
        while (m_owed && !owedLineLost() && m_serial->PortOpen() && platform::Clock::tickMs() < deadline)
            waitUntil([this] { return !m_owed; }, std::min(deadline, m_owedUntil));
        if (m_owed && !owedLineLost()) {
            // Held back: unsent, and no sign of silence unless the line kept talking without
            // ever ending a line.
            return m_takenIn != takenBefore ? -1 : HeldBack;
        }
        m_owed = false;
        // Too little of the limit is left for a reply: the line is in step again for the next.
        if (deadline - platform::Clock::tickMs() < MinReplyWindowMs)
            return HeldBack;
    }
    discardWaiting();
    const qint64 sentAt = platform::Clock::tickMs();
    const int status = write(command, true);
    if (status != 0)
        return status;
    const Collected got = collect(deadline);
    if (!got.lineEnded) {
        // Nothing, a line cut off at the limit or one too long: no reply, and what is still to
        // come of it belongs to this query.
        if (!got.overflowed)
            owe(sentAt);
        return -1;
    }
    reply = trimBlanks(fromAnsi(got.text));
    return 0;
}
