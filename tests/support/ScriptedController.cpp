#include "tests/support/ScriptedController.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

qint64 ScriptedController::clockMs()
{
    static const QElapsedTimer origin = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return origin.elapsed();
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
    if (answer.perCharMs <= 0) {
        m_due.push_back({now + answer.delayMs, answer.text});
        return;
    }
    for (qsizetype i = 0; i < answer.text.size(); ++i)
        m_due.push_back({now + answer.delayMs + i * answer.perCharMs, answer.text.mid(i, 1)});
}

void ScriptedController::run()
{
    const int fd = m_pty.masterFd();
    while (!m_stop) {
        QByteArray flood;
        qint64 wait = 20;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            flood = m_flood;
            const qint64 now = clockMs();
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
        pollfd p{fd, short(flood.isEmpty() ? POLLIN : POLLIN | POLLOUT), 0};
        const int ready = ::poll(&p, 1, int(std::max<qint64>(wait, 0)));
        if (ready <= 0)
            continue;
        if (!(p.revents & POLLIN)) {
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
                ::poll(nullptr, 0, 10); // hang-up: the host has the slave closed
            continue;
        }
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) {
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                ::poll(nullptr, 0, 10);
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        const qint64 now = clockMs();
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
