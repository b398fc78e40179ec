#include "sim/SimPty.h"

#include "sim/SimController.h"

#include <QSocketNotifier>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

SimPty::SimPty(SimController* controller, QObject* parent)
    : QObject(parent)
{
    if (!controller) {
        m_own = std::make_unique<SimController>();
        controller = m_own.get();
    }
    m_controller = controller;
    connect(controller, &SimController::replyReady, this, &SimPty::writeReplies);
    connect(controller, &SimController::vanished, this, &SimPty::close);
    connect(controller, &SimController::lineReceived, this, &SimPty::logReceived);
    m_lineClock.start();
    m_paceTimer = new QTimer(this);
    m_paceTimer->setSingleShot(true);
    m_paceTimer->setTimerType(Qt::PreciseTimer);
    connect(m_paceTimer, &QTimer::timeout, this, &SimPty::deliverDue);
}

SimPty::~SimPty()
{
    close();
}

bool SimPty::open()
{
    if (isOpen())
        return true;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const char* name = nullptr;
    if (grantpt(master) != 0 || unlockpt(master) != 0 || !(name = ptsname(master))) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(master);
        return false;
    }
    const QByteArray path(name);
    // Holding the slave open keeps the master readable while no serial port has it open.
    const int slave = ::open(path.constData(), O_RDWR | O_NOCTTY);
    if (slave < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(master);
        return false;
    }
    // Raw, so nothing the controller writes is echoed back to it or altered.
    termios settings{};
    if (tcgetattr(slave, &settings) == 0) {
        cfmakeraw(&settings);
        cfsetispeed(&settings, B19200);
        cfsetospeed(&settings, B19200);
        tcsetattr(slave, TCSANOW, &settings);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    m_master = master;
    m_slave = slave;
    m_slavePath = QString::fromLocal8Bit(path);
    m_error.clear();
    m_readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SimPty::readMaster);
    m_writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SimPty::flushPending);
    return true;
}

void SimPty::close()
{
    if (!isOpen())
        return;
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    ::close(m_master);
    ::close(m_slave);
    m_master = -1;
    m_slave = -1;
    m_pending.clear();
    m_in = Paced();
    m_out = Paced();
    m_paceTimer->stop();
    emit closed();
}

void SimPty::setBaud(int baud)
{
    m_baud = baud > 0 ? baud : 0;
    // Unpaced, the line takes all that waits at once.
    if (m_baud == 0 && m_readNotifier && !m_readNotifier->isEnabled()) {
        m_readNotifier->setEnabled(true);
        readMaster();
    }
}

qint64 SimPty::characterNs(int baud)
{
    return baud > 0 ? 10 * qint64(1000000000) / baud : 0;
}

void SimPty::setLateEvery(int n, int lateMs)
{
    m_lateEvery = std::max(0, n);
    m_lateNs = qint64(std::max(0, lateMs)) * 1000000;
}

void SimPty::setDribble(int ms)
{
    m_dribbleNs = qint64(std::max(0, ms)) * 1000000;
}

void SimPty::Paced::append(const QByteArray& more, qint64 now, qint64 perChar)
{
    qint64 at = std::max(now, freeAt);
    for (qsizetype i = 0; i < more.size(); ++i) {
        at += perChar;
        due.push_back(at);
    }
    bytes += more;
    freeAt = at;
}

QByteArray SimPty::Paced::takeDue(qint64 now)
{
    qsizetype count = 0;
    while (!due.empty() && due.front() <= now) {
        due.pop_front();
        ++count;
    }
    const QByteArray taken = bytes.left(count);
    bytes.remove(0, count);
    return taken;
}

void SimPty::readMaster()
{
    char buffer[4096];
    while (isOpen()) {
        // A paced line takes the host's characters only as fast as it carries them: the rest wait
        // in the host's own buffer, which fills when the host writes faster than the line.
        qsizetype room = qsizetype(sizeof buffer);
        if (m_baud > 0) {
            room = kReceiveFifo - m_in.bytes.size();
            m_readNotifier->setEnabled(room > 0);
            if (room <= 0)
                return;
        }
        const ssize_t n = ::read(m_master, buffer, size_t(room));
        if (n > 0) {
            const QByteArray bytes(buffer, static_cast<qsizetype>(n));
            if (m_baud == 0 && m_in.bytes.isEmpty()) {
                m_charsIn += bytes.size();
                if (m_controller)
                    m_controller->receive(bytes);
            } else {
                m_in.append(bytes, m_lineClock.nsecsElapsed(), characterNs(m_baud));
                scheduleNext();
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: all read
    }
}

void SimPty::writeReplies()
{
    if (!isOpen() || !m_controller)
        return;
    // One reply at a time, so each is logged as it starts out.
    while (m_controller && m_controller->pendingReplies() > 0) {
        const QByteArray reply = m_controller->takeReply();
        if (m_log)
            m_log(logLine(false, reply));
        const bool late = m_lateEvery > 0 && ++m_repliesOut % m_lateEvery == 0;
        if (m_baud == 0 && m_dribbleNs == 0 && m_out.bytes.isEmpty() && !late) {
            m_charsOut += reply.size();
            m_pending += reply;
        } else {
            m_out.append(reply, m_lineClock.nsecsElapsed() + (late ? m_lateNs : 0),
                         std::max(characterNs(m_baud), m_dribbleNs));
        }
    }
    flushPending();
    scheduleNext();
}

// Hands on what the line has carried by now, in both directions.
void SimPty::deliverDue()
{
    const qint64 now = m_lineClock.nsecsElapsed();
    const QByteArray out = m_out.takeDue(now);
    if (!out.isEmpty()) {
        m_charsOut += out.size();
        m_pending += out;
        flushPending();
    }
    const QByteArray in = m_in.takeDue(now);
    if (!in.isEmpty()) {
        m_charsIn += in.size();
        if (m_controller)
            m_controller->receive(in); // may close the terminal or queue replies
        if (m_readNotifier && !m_readNotifier->isEnabled())
            readMaster();
    }
    scheduleNext();
}

void SimPty::scheduleNext()
{
    if (!isOpen())
        return;
    qint64 next = -1;
    if (!m_in.due.empty())
        next = m_in.due.front();
    if (!m_out.due.empty())
        next = next < 0 ? m_out.due.front() : std::min(next, m_out.due.front());
    if (next < 0) {
        m_paceTimer->stop();
        return;
    }
    const qint64 waitNs = next - m_lineClock.nsecsElapsed();
    // Whole milliseconds, rounded up: a character is never handed on before its time.
    const int waitMs = waitNs <= 0 ? 0 : int((waitNs + 999999) / 1000000);
    if (!m_paceTimer->isActive() || m_paceTimer->remainingTime() > waitMs)
        m_paceTimer->start(waitMs);
}

void SimPty::logReceived(const QByteArray& line)
{
    if (m_log)
        m_log(logLine(true, line));
}

QString SimPty::logLine(bool received, const QByteArray& text)
{
    QString shown;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            shown += QLatin1String("\\r");
        else if (c == '\n')
            shown += QLatin1String("\\n");
        else if (u < 0x20 || u >= 0x7F)
            shown += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            shown += QLatin1Char(c);
    }
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"))
        + (received ? QLatin1String(" in  ") : QLatin1String(" out ")) + shown;
}

void SimPty::flushPending()
{
    while (isOpen() && !m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), static_cast<size_t>(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // full: wait until the master is writable again
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_pending.isEmpty());
}
