#include "library/link/Rs232Transport.h"

#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"
#include "platform/serial/SerialControl.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Slices of the read's wait: the deadline is checked at least this often.
constexpr int kWaitSliceMs = 100;
// More late replies than this are not waited for: the silence rule has broken the link by then.
constexpr int kMaxLateReplies = 3;

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
    m_buffer.clear();
    m_lateReplies = 0;
    m_serial->setInBufferCount(0);
    if (m_serial->InBufferCount() > 0)
        m_serial->Input();
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
    m_lateReplies = 0;
    if (m_serial->PortOpen()) {
        m_serial->setOutBufferCount(0);
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
    m_buffer.clear();
    m_lateReplies = 0;
}

void Rs232Transport::discardWaiting()
{
    QByteArray waiting = std::exchange(m_buffer, QByteArray());
    if (m_serial->PortOpen() && m_serial->InBufferCount() > 0)
        waiting += m_serial->Input();
    m_lateReplies = std::max(0, m_lateReplies - int(waiting.count('\n')));
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
    if (!m_routed && m_serial->PortOpen())
        discardWaiting();
    return write(command, true);
}

QVariant Rs232Transport::sendNoTerm(const QByteArray& command)
{
    if (!m_routed && m_serial->PortOpen())
        discardWaiting();
    return QVariant(write(command, false));
}

QByteArray Rs232Transport::collect()
{
    QByteArray got = std::exchange(m_buffer, QByteArray());
    QByteArray late;
    const qint64 deadline = platform::Clock::tickMs() + ReplyLimitMs;
    for (;;) {
        // A line owed to a query that gave up earlier is that query's late reply.
        int lineFeed;
        while (m_lateReplies > 0 && (lineFeed = int(got.indexOf('\n'))) >= 0) {
            late = got.left(lineFeed + 1);
            got.remove(0, lineFeed + 1);
            --m_lateReplies;
        }
        if (got.contains('\n') || !m_serial->PortOpen())
            break;
        const QByteArray input = m_serial->Input();
        if (!input.isEmpty()) {
            got += input;
            continue;
        }
        const qint64 left = deadline - platform::Clock::tickMs();
        if (left <= 0)
            break;
        platform::Clock::blockFor(int(std::min<qint64>(left, kWaitSliceMs)),
                                  [this](int ms) { m_serial->waitForInput(ms); });
    }
    // Nothing followed the line taken for a late reply: the earlier reply was lost after all and
    // that line answers this read.
    if (got.isEmpty())
        got = late;
    return got;
}

int Rs232Transport::read(QString& reply)
{
    TimerPause pause(m_timer);
    const QByteArray got = collect();
    reply = trimBlanks(fromAnsi(got));
    return got.isEmpty() ? -1 : 0;
}

int Rs232Transport::sendRead(const QByteArray& command, QString& reply)
{
    TimerPause pause(m_timer);
    if (m_serial->PortOpen())
        discardWaiting();
    int status = write(command, true);
    if (status != 0) {
        reply.clear();
        return status;
    }
    const QByteArray got = collect();
    if (got.isEmpty())
        m_lateReplies = std::min(m_lateReplies + 1, kMaxLateReplies);
    reply = trimBlanks(fromAnsi(got));
    return got.isEmpty() ? -1 : 0;
}
