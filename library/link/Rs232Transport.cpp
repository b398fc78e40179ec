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
    m_dropToLineEnd = false;
    m_justWritten = false;
    m_lineFreeAt = 0;
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
    if (m_serial->PortOpen()) {
        if (m_serial->InBufferCount() >= 1)
            m_serial->Input();
        m_serial->setPortOpen(false);
    }
    forget();
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

void Rs232Transport::takeIn(QByteArray bytes)
{
    while (!bytes.isEmpty()) {
        if (m_dropToLineEnd) {
            const qsizetype lineFeed = bytes.indexOf('\n');
            if (lineFeed < 0)
                return;
            bytes.remove(0, lineFeed + 1);
            m_dropToLineEnd = false;
            continue;
        }
        const qsizetype held = m_buffer.size() - (m_buffer.lastIndexOf('\n') + 1);
        const qsizetype lineFeed = bytes.indexOf('\n');
        const qsizetype take = lineFeed < 0 ? bytes.size() : lineFeed + 1;
        if (held + take > ReplyBufferLength || m_buffer.size() + take > InputBound) {
            // A line longer than the reply buffer, or more than is ever held: no reader gets any
            // of it, up to its end.
            m_overflowed = true;
            m_buffer.clear();
            m_dropToLineEnd = true;
            continue;
        }
        m_buffer.append(bytes.left(take));
        bytes.remove(0, take);
    }
}

void Rs232Transport::takeWaiting()
{
    if (m_serial->PortOpen() && m_serial->InBufferCount() > 0)
        takeIn(m_serial->Input());
}

qint64 Rs232Transport::replyDeadline(int limitMs) const
{
    return std::max(platform::Clock::tickMs(), m_lineFreeAt) + limitMs;
}

qint64 Rs232Transport::msUntilLineFree() const
{
    return std::max<qint64>(0, m_lineFreeAt - platform::Clock::tickMs());
}

bool Rs232Transport::lineHeld()
{
    takeWaiting();
    return m_overflowed || m_buffer.contains('\n');
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
    m_justWritten = true;
    // The controller has what was written only once the line has carried it.
    const double rate = m_serial->charactersPerMs();
    if (rate > 0)
        m_lineFreeAt = std::max(platform::Clock::tickMs(), m_lineFreeAt) + qint64(bytes.size() / rate);
    return 0;
}

int Rs232Transport::writeCommand(const QByteArray& command)
{
    return write(command, true);
}

QVariant Rs232Transport::writeNoTerm(const QByteArray& command)
{
    return QVariant(write(command, false));
}

bool Rs232Transport::waitUntil(const std::function<bool()>& done, qint64 deadline, bool takeWaitingFirst)
{
    // What may already wait is taken first; after that, only what a wait saw come.
    bool arrived = takeWaitingFirst;
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

bool Rs232Transport::heldLine(Line& line)
{
    if (std::exchange(m_overflowed, false)) {
        line = Line{Line::Broken, QString()};
        return true;
    }
    const qsizetype lineFeed = m_buffer.indexOf('\n');
    if (lineFeed < 0)
        return false;
    line = Line{Line::Whole, fromAnsi(m_buffer.left(lineFeed + 1))};
    m_buffer.remove(0, lineFeed + 1);
    return true;
}

LinkTransport::Line Rs232Transport::takeLine(qint64 deadline)
{
    TimerPause pause(m_timer);
    const bool lookFirst = !std::exchange(m_justWritten, false);
    waitUntil([this] { return m_overflowed || m_buffer.contains('\n'); }, deadline, lookFirst);
    Line line;
    if (heldLine(line))
        return line;
    if (m_buffer.isEmpty())
        return Line{};
    // Cut off at the limit: what may still come of it is a line of its own, and answers no query.
    return Line{Line::Broken, fromAnsi(std::exchange(m_buffer, QByteArray()))};
}

bool Rs232Transport::takeWaitingLine(Line& line)
{
    takeWaiting();
    if (heldLine(line))
        return true;
    if (m_buffer.isEmpty())
        return false;
    // Part of a line: whatever it answers, no query still to be sent.
    line = Line{Line::Broken, fromAnsi(std::exchange(m_buffer, QByteArray()))};
    return true;
}

int Rs232Transport::read(QString& reply)
{
    TimerPause pause(m_timer);
    const qint64 deadline = replyDeadline(ReplyLimitMs);
    // A separate read hands over what came, a cut-off line included; a line too long is none.
    // Identifications nobody asked for are read past.
    for (bool lookFirst = !std::exchange(m_justWritten, false);; lookFirst = true) {
        const bool lineCame = waitUntil([this] { return m_overflowed || m_buffer.contains('\n'); }, deadline, lookFirst);
        if (std::exchange(m_overflowed, false)) {
            m_buffer.clear();
            separateReadText(QString(), true);
            reply.clear();
            return -1;
        }
        const QByteArray text = std::exchange(m_buffer, QByteArray());
        reply = trimBlanks(separateReadText(fromAnsi(text), !text.isEmpty() && !text.endsWith('\n')));
        if (!reply.isEmpty() || !lineCame)
            return reply.isEmpty() ? -1 : 0;
    }
}
