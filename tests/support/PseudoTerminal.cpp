#include "tests/support/PseudoTerminal.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0)
        return;
    if (grantpt(fd) != 0 || unlockpt(fd) != 0) {
        ::close(fd);
        return;
    }
    const char* name = ptsname(fd);
    if (!name) {
        ::close(fd);
        return;
    }
    // The pair shares one set of terminal settings: raw, so nothing is echoed or translated
    // before (or after) the host opens the slave.
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_master = fd;
    m_slavePath = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::writeMaster(const QByteArray& bytes)
{
    if (m_master < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{m_master, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return false;
        } else if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

QByteArray PseudoTerminal::readMaster(int timeoutMs)
{
    QByteArray got;
    if (m_master < 0)
        return got;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        // After the first bytes, only wait briefly for the rest of the same write.
        const int left = got.isEmpty() ? int(qMax<qint64>(0, timeoutMs - clock.elapsed())) : 50;
        pollfd p{m_master, POLLIN, 0};
        const int r = ::poll(&p, 1, left);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return got;
        char buf[4096];
        if (p.revents & POLLIN) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0) {
                got.append(buf, qsizetype(n));
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
        }
        // Hang-up: the host has the slave closed. Give it the rest of the time to open it.
        if (!got.isEmpty() || clock.elapsed() >= timeoutMs)
            return got;
        ::poll(nullptr, 0, 10);
    }
}

void PseudoTerminal::close()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}
