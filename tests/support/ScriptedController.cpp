#include "tests/support/ScriptedController.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {

qint64 nowNs()
{
    static const QElapsedTimer origin = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return origin.nsecsElapsed();
}

qint64 nowMs()
{
    return nowNs() / 1000000;
}

constexpr qint64 kReadChunk = 4096;
// A paced line's characters are taken this many at a time, as a UART's FIFO hands them on.
constexpr qint64 kPacedChunk = 16;
constexpr qint64 kSavedNs = 2000000;

} // namespace

qint64 ScriptedController::clockMs()
{
    return nowMs();
}

ScriptedController::ScriptedController(Script script) : m_script(std::move(script))
{
    if (m_pty.isOpen())
        m_thread = std::thread([this] { run(); });
}

ScriptedController::~ScriptedController()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void ScriptedController::setFlood(const QByteArray& chunk)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_flood = chunk;
}

void ScriptedController::setReadBaud(int baud)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readBaud = std::max(0, baud);
    m_lineFreeNs = nowNs();
}

QList<QByteArray> ScriptedController::lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

qint64 ScriptedController::receivedAt(const QByteArray& line) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const qsizetype at = m_lines.indexOf(line);
    return at < 0 ? -1 : m_lineTimes.at(at);
}

void ScriptedController::lineIn(const QByteArray& line, qint64 now)
{
    m_lines.append(line);
    m_lineTimes.append(now);
    const Answer answer = m_script ? m_script(line) : Answer{};
    if (answer.text.isEmpty())
        return;
    // Lines are worked through one at a time: a late answer holds up the answers after it.
    const qint64 start = std::max(now, m_busyUntil) + answer.delayMs;
    if (answer.perCharMs <= 0) {
        m_due.push_back({start, answer.text});
        m_busyUntil = start;
        return;
    }
    for (qsizetype i = 0; i < answer.text.size(); ++i)
        m_due.push_back({start + i * answer.perCharMs, answer.text.mid(i, 1)});
    m_busyUntil = start + (answer.text.size() - 1) * answer.perCharMs;
}

void ScriptedController::run()
{
    const int fd = m_pty.masterFd();
    while (!m_stop) {
        QByteArray flood;
        qint64 wait = 20;
        qint64 readable = kReadChunk;
        qint64 perCharNs = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            flood = m_flood;
            if (m_readBaud > 0) {
                // What the line has carried since the last take; an idle line saves up no more
                // than a chunk or two milliseconds' worth.
                perCharNs = std::max<qint64>(1, 10 * qint64(1000000000) / m_readBaud);
                const qint64 ns = nowNs();
                const qint64 saved = std::max(kPacedChunk, kSavedNs / perCharNs);
                m_lineFreeNs = std::max(m_lineFreeNs, ns - saved * perCharNs);
                readable = (ns - m_lineFreeNs) / perCharNs;
                if (readable < kPacedChunk) {
                    wait = std::min<qint64>(wait, ((kPacedChunk - readable) * perCharNs + 999999) / 1000000);
                    readable = 0;
                }
            }
            const qint64 now = nowMs();
            // Due answers in the order they fell due.
            std::stable_sort(m_due.begin(), m_due.end(), [](const Due& a, const Due& b) { return a.atMs < b.atMs; });
            while (!m_due.empty() && m_due.front().atMs <= now) {
                const QByteArray bytes = m_due.front().bytes;
                m_due.erase(m_due.begin());
                if (m_pty.writeMaster(bytes))
                    m_sent += bytes.size();
            }
            if (!m_due.empty())
                wait = std::min<qint64>(wait, m_due.front().atMs - now);
        }
        if (!flood.isEmpty()) {
            const ssize_t n = ::write(fd, flood.constData(), size_t(flood.size()));
            if (n > 0)
                m_sent += n;
        }
        // While flooding, also wake as soon as the line takes more, rather than spin on a full one.
        const short in = readable > 0 ? POLLIN : 0;
        pollfd p{fd, short(flood.isEmpty() ? in : in | POLLOUT), 0};
        const int ready = ::poll(&p, 1, int(std::max<qint64>(wait, 0)));
        if (ready <= 0)
            continue;
        if (!(p.revents & POLLIN)) {
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
                ::poll(nullptr, 0, 10); // hang-up: the host has the slave closed
            continue;
        }
        char buf[kReadChunk];
        const ssize_t n = ::read(fd, buf, size_t(std::min(readable, kReadChunk)));
        if (n <= 0) {
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                ::poll(nullptr, 0, 10);
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (perCharNs > 0)
            m_lineFreeNs += n * perCharNs;
        const qint64 now = nowMs();
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\r' || c == '\n') {
                if (!m_partial.isEmpty())
                    lineIn(std::exchange(m_partial, QByteArray()), now);
            } else {
                m_partial.append(c);
            }
        }
    }
}
