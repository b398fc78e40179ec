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
    m_askedIdentification = false;
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

void Rs232Transport::dropLateIdentifications()
{
    for (qsizetype lineFeed = m_buffer.indexOf('\n'); lineFeed >= 0; lineFeed = m_buffer.indexOf('\n')) {
        if (!isLateIdentification(fromAnsi(m_buffer.left(lineFeed + 1)), m_askedIdentification))
            return;
        m_buffer.remove(0, lineFeed + 1);
    }
}

bool Rs232Transport::inStep()
{
    takeWaiting();
    dropLateIdentifications();
    // Anything else that waits, or the rest of a line still to come, answers no query that is
    // still to be sent.
    if (!m_buffer.isEmpty() || m_overflowed || m_dropToLineEnd) {
        m_buffer.clear();
        m_overflowed = false;
        oweResync();
    }
    return LinkTransport::inStep();
}

qint64 Rs232Transport::replyDeadline() const
{
    return std::max(platform::Clock::tickMs(), m_lineFreeAt) + ReplyLimitMs;
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
    m_askedIdentification = asksIdentification(command);
    // The controller has what was written only once the line has carried it.
    const double rate = m_serial->charactersPerMs();
    if (rate > 0)
        m_lineFreeAt = std::max(platform::Clock::tickMs(), m_lineFreeAt) + qint64(bytes.size() / rate);
    return 0;
}

void Rs232Transport::dropStale()
{
    // Out of step, what is held answers queries that were given up: a separate read after this
    // send gets only what came after it.
    if (LinkTransport::inStep())
        return;
    takeWaiting();
    m_buffer.clear();
    m_overflowed = false;
}

int Rs232Transport::send(const QByteArray& command)
{
    dropStale();
    return write(command, true);
}

QVariant Rs232Transport::sendNoTerm(const QByteArray& command)
{
    dropStale();
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

Rs232Transport::Collected Rs232Transport::collectLine(qint64 deadline, bool takeWaitingFirst)
{
    waitUntil([this] { return m_overflowed || m_buffer.contains('\n'); }, deadline, takeWaitingFirst);
    Collected got;
    if (std::exchange(m_overflowed, false)) {
        got.overflowed = true;
        return got;
    }
    const qsizetype lineFeed = m_buffer.indexOf('\n');
    if (lineFeed < 0) {
        // Cut off at the limit: what is still to come of it is a line of its own, and answers
        // no query.
        got.text = std::exchange(m_buffer, QByteArray());
        return got;
    }
    got.text = m_buffer.left(lineFeed + 1);
    m_buffer.remove(0, lineFeed + 1);
    got.lineEnded = true;
    return got;
}

bool Rs232Transport::nextLine(QString& line, qint64 deadline)
{
    TimerPause pause(m_timer);
    for (;;) {
        const Collected got = collectLine(deadline);
        if (got.lineEnded) {
            line = fromAnsi(got.text);
            return true;
        }
        // A line too long was dropped: read on.
        if (!got.overflowed)
            return false;
    }
}

int Rs232Transport::read(QString& reply)
{
    TimerPause pause(m_timer);
    waitUntil(
        [this] {
            dropLateIdentifications();
            return m_overflowed || m_buffer.contains('\n');
        },
        replyDeadline());
    // A separate read hands over what came, a cut-off line included; a line too long is none.
    // Either leaves the rest of a line to come, which answers no query.
    if (std::exchange(m_overflowed, false)) {
        oweResync();
        reply.clear();
        return -1;
    }
    const QByteArray text = std::exchange(m_buffer, QByteArray());
    if (!text.endsWith('\n'))
        oweResync();
    reply = trimBlanks(fromAnsi(text));
    return text.isEmpty() ? -1 : 0;
}

int Rs232Transport::sendRead(const QByteArray& command, QString& reply)
{
    TimerPause pause(m_timer);
    reply.clear();
    if (!m_serial->PortOpen())
        return write(command, true);
    // The link found the line in step: what is held is identifications that came late.
    m_buffer.clear();
    const int status = write(command, true);
    if (status != 0)
        return status;
    const qint64 deadline = replyDeadline();
    // The port was looked at just before the send: a reply is waited for before it is looked for.
    for (bool first = true;; first = false) {
        const Collected got = collectLine(deadline, !first);
        // Nothing, a line cut off at the limit or one too long: no reply.
        if (!got.lineEnded) {
            oweResync();
            return -1;
        }
        const QString line = fromAnsi(got.text);
        if (isLateIdentification(line, m_askedIdentification))
            continue;
        if (isGarbage(line)) {
            oweResync();
            return -1;
        }
        // Bytes after the reply's line end answer no query.
        if (!m_buffer.isEmpty()) {
            m_buffer.clear();
            oweResync();
        }
        learnIdentification(line, m_askedIdentification);
        reply = trimBlanks(line);
        return 0;
    }
}
