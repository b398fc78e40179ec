#include "sim/SimPty.h"

#include "sim/SimController.h"

#include <QSocketNotifier>

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
    emit closed();
}

void SimPty::readMaster()
{
    char buffer[4096];
    while (isOpen()) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            if (m_controller)
                m_controller->receive(QByteArray(buffer, static_cast<qsizetype>(n)));
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
    m_pending += m_controller->takeAllOutput();
    flushPending();
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
