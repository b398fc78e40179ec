#include "sim/SimController.h"
#include "sim/SimPty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSerialPort>

#include <gtest/gtest.h>

namespace {

// Lets the pseudo-terminal and the port exchange until the port holds a whole line or time is up.
QByteArray readLine(QSerialPort& port, int timeoutMs = 2000)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (!got.contains('\n') && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        port.waitForReadyRead(10);
        got += port.readAll();
    }
    return got;
}

bool openPort(QSerialPort& port, const QString& path)
{
    port.setPortName(path);
    port.setBaudRate(19200);
    return port.open(QIODevice::ReadWrite);
}

TEST(SimPtyTest, SerialPortExchangesLinesWithTheController)
{
    SimPty pty;
    ASSERT_TRUE(pty.open()) << pty.errorString().toStdString();
    ASSERT_FALSE(pty.slavePath().isEmpty());

    QSerialPort port;
    ASSERT_TRUE(openPort(port, pty.slavePath())) << port.errorString().toStdString();
    port.write("VE?\r");
    EXPECT_EQ(readLine(port), QByteArray("KVL410 Version 2.0\r\n"));

    // A line in two writes; then a setting and its query.
    port.write("1VA");
    port.waitForBytesWritten(100);
    QCoreApplication::processEvents();
    port.write(" 4\r1VA?\r");
    EXPECT_EQ(readLine(port), QByteArray("4\r\n"));
    EXPECT_EQ(pty.controller().rawLines(), (QList<QByteArray>{"VE?\r", "1VA 4\r", "1VA?\r"}));

    // The port may be closed and opened again; a second open at once is refused.
    port.close();
    ASSERT_TRUE(openPort(port, pty.slavePath())) << port.errorString().toStdString();
    QSerialPort second;
    EXPECT_FALSE(openPort(second, pty.slavePath()));
    port.write("1TP\r");
    EXPECT_EQ(readLine(port), QByteArray("0.0000\r\n"));
}

TEST(SimPtyTest, VanishingClosesTheTerminal)
{
    SimController sim;
    SimPty pty(&sim);
    ASSERT_TRUE(pty.open());
    int closed = 0;
    QObject::connect(&pty, &SimPty::closed, [&] { ++closed; });
    QSerialPort port;
    ASSERT_TRUE(openPort(port, pty.slavePath()));
    sim.vanishAfter(1);
    port.write("VE?\r");
    EXPECT_EQ(readLine(port, 500), QByteArray());
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(pty.isOpen());
    EXPECT_EQ(sim.lines(), QList<QByteArray>{"VE?"});
    EXPECT_EQ(port.error(), QSerialPort::ReadError);
}

} // namespace
