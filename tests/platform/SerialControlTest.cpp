#include "platform/serial/SerialControl.h"

#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/ScriptedController.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <sys/resource.h>
#include <termios.h>
#include <thread>

using platform::RuntimeError;
using platform::SerialControl;

namespace {

// Runs the event loop in short naps until cond holds or ms pass.
bool waitUntil(const std::function<bool()>& cond, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!cond()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// One event loop for the whole time: no wake-ups of our own, so the CPU time it takes is the
// code's.
void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.Number;
    }
    return 0;
}

// This thread's CPU time: a simulated device serving the line from its own thread is not the code
// under test.
qint64 cpuMicroseconds()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return qint64(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000 + u.ru_utime.tv_usec
        + u.ru_stime.tv_usec;
}

// The most CPU time a thread that waits may take in wallMs. A wait that sleeps takes next to
// nothing, a spin a whole core (on a loaded machine, all of one it is given); a third of the
// wall time tells them apart with room for a slow build on a busy machine.
qint64 spinBoundUs(qint64 wallMs)
{
    return wallMs * 1000 / 3;
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

// Reads from the control until n bytes came or the time is up.
QByteArray readHost(SerialControl& port, int n, int ms)
{
    QByteArray got;
    const QDeadlineTimer deadline(ms);
    while (got.size() < n && !deadline.hasExpired()) {
        got += port.Input();
        if (got.size() < n)
            port.waitForInput(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    return got;
}

class SerialControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isOpen());
        qputenv("KVL_COM7", pty.slavePath().toLocal8Bit());
        port.setCommPort(7);
    }
    void TearDown() override
    {
        qunsetenv("KVL_COM7");
        qunsetenv("KVL_COM8");
    }

    PseudoTerminal pty;
    SerialControl port;
};

TEST_F(SerialControlTest, BytesPassUnchangedBothWays)
{
    port.setPortOpen(true);
    ASSERT_TRUE(port.PortOpen());

    const QByteArray all = allByteValues() + QByteArray("1PA?\r\n\r\0end", 11);
    port.setOutput(all);
    EXPECT_EQ(pty.readMaster(1000), all);

    ASSERT_TRUE(pty.writeMaster(all));
    EXPECT_EQ(readHost(port, int(all.size()), 2000), all);

    // InputLen limits each take; InBufferCount sees what arrived without the event loop running.
    port.setInputLen(5);
    ASSERT_TRUE(pty.writeMaster("ABCDEFGH"));
    ASSERT_TRUE(port.waitForInput(1000));
    ASSERT_TRUE(waitUntil([&] { return port.InBufferCount() == 8; }, 1000));
    EXPECT_EQ(port.Input(), QByteArray("ABCDE"));
    EXPECT_EQ(port.InBufferCount(), 3);
    port.setInputLen(0);
    EXPECT_EQ(port.Input(), QByteArray("FGH"));

    // Discarding input drops what waits, and only that.
    ASSERT_TRUE(pty.writeMaster("stale"));
    ASSERT_TRUE(waitUntil([&] { return port.InBufferCount() == 5; }, 1000));
    port.setInBufferCount(0);
    EXPECT_EQ(port.InBufferCount(), 0);
    ASSERT_TRUE(pty.writeMaster("fresh"));
    EXPECT_EQ(readHost(port, 5, 1000), QByteArray("fresh"));
    EXPECT_EQ(errorOf([&] { port.setInBufferCount(3); }), 380);
}

TEST_F(SerialControlTest, OutputBeyondTheDeviceBufferArrivesWholeOrIsDiscarded)
{
    port.setPortOpen(true);
    QByteArray big;
    for (int i = 0; i < 100000; ++i)
        big.append(char(i * 7 + i / 256));

    // More than the pseudo-terminal holds, with room for all of it on our side: the rest waits
    // with us and goes out as the device takes it.
    EXPECT_EQ(port.OutBufferSize(), 512);
    port.setOutBufferSize(int(big.size()));
    port.setOutput(big);
    EXPECT_GT(port.OutBufferCount(), 0);
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] {
        got += pty.readMaster(10);
        return got.size() >= big.size();
    }, 5000));
    EXPECT_EQ(got, big);
    EXPECT_EQ(port.OutBufferCount(), 0);

    // Discarding unsent output: what the device already took may arrive, nothing else.
    port.setOutput(big);
    ASSERT_GT(port.OutBufferCount(), 0);
    port.setOutBufferCount(0);
    EXPECT_EQ(port.OutBufferCount(), 0);
    got.clear();
    waitUntil([&] {
        got += pty.readMaster(10);
        return false;
    }, 300);
    EXPECT_LT(got.size(), big.size());
    EXPECT_TRUE(big.startsWith(got));
}

TEST_F(SerialControlTest, PortNumbersAndDevices)
{
    EXPECT_EQ(SerialControl::devicePath(3), QStringLiteral("/dev/ttyS2"));
    EXPECT_EQ(SerialControl::devicePath(7), pty.slavePath());

    SerialControl other;
    EXPECT_EQ(errorOf([&] { other.setCommPort(0); }), 8002);
    EXPECT_EQ(errorOf([&] { other.setCommPort(-2); }), 8002);
    EXPECT_EQ(other.CommPort(), 1);

    qputenv("KVL_COM8", "/nonexistent/serial-device");
    other.setCommPort(8);
    EXPECT_EQ(errorOf([&] { other.setPortOpen(true); }), 8002);
    EXPECT_FALSE(other.PortOpen());

    // Output, Input and waiting need an open port.
    EXPECT_EQ(errorOf([&] { other.setOutput("x"); }), 8018);
    EXPECT_EQ(errorOf([&] { other.Input(); }), 8018);
    EXPECT_EQ(errorOf([&] { other.waitForInput(10); }), 8018);
    EXPECT_EQ(other.InBufferCount(), 0);
}

TEST_F(SerialControlTest, PortInUse)
{
    port.setPortOpen(true);
    EXPECT_EQ(errorOf([&] { port.setPortOpen(true); }), 8005);
    EXPECT_EQ(errorOf([&] { port.setCommPort(3); }), 8005);
    EXPECT_EQ(port.CommPort(), 7);
    EXPECT_TRUE(port.PortOpen());

    SerialControl second;
    second.setCommPort(7);
    EXPECT_EQ(errorOf([&] { second.setPortOpen(true); }), 8005);
    EXPECT_FALSE(second.PortOpen());

    // Once let go, the port is free again, for this control or another.
    port.setPortOpen(false);
    port.setPortOpen(false);
    second.setPortOpen(true);
    EXPECT_TRUE(second.PortOpen());
    second.setOutput("ok");
    EXPECT_EQ(pty.readMaster(1000), QByteArray("ok"));
    second.setPortOpen(false);

    // A holder outside our controls (the driver's lock) refuses us too.
    QSerialPort foreign(pty.slavePath());
    ASSERT_TRUE(foreign.open(QIODevice::ReadWrite));
    EXPECT_EQ(errorOf([&] { port.setPortOpen(true); }), 8005);
    foreign.close();
    port.setPortOpen(true);
    EXPECT_TRUE(port.PortOpen());
}

TEST_F(SerialControlTest, SettingsTextParsedAndAppliedAtOnce)
{
    EXPECT_EQ(port.Settings(), QStringLiteral("9600,n,8,1"));
    port.setSettings(QStringLiteral("19200,N,8,1"));
    EXPECT_EQ(port.Settings(), QStringLiteral("19200,n,8,1"));
    port.setSettings(QStringLiteral("9600,o,7,1.5"));
    EXPECT_EQ(port.Settings(), QStringLiteral("9600,o,7,1.5"));
    port.setSettings(QStringLiteral("9600,E,8,1"));
    EXPECT_EQ(port.Settings(), QStringLiteral("9600,e,8,1"));
    port.setSettings(QStringLiteral("256000,m,5,2"));
    EXPECT_EQ(port.Settings(), QStringLiteral("256000,m,5,2"));

    for (const char* bad : {"", "9600", "9600,n,8", "9600,n,8,1,", "9600,x,8,1", "9600,n,9,1",
                            "9600,n,3,1", "abc,n,8,1", "0,n,8,1", "-9600,n,8,1", "9600,n,8,3",
                            "9600,n,8,1.6", "9600,n,8,1\r", "9600,no,8,1"}) {
        EXPECT_EQ(errorOf([&] { port.setSettings(QString::fromLatin1(bad)); }), 380) << bad;
        EXPECT_EQ(port.Settings(), QStringLiteral("256000,m,5,2")) << bad;
    }

    port.setSettings(QStringLiteral("19200,n,8,1"));
    port.setPortOpen(true);
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.masterFd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B19200));

    port.setSettings(QStringLiteral("921600,n,8,2"));
    ASSERT_EQ(tcgetattr(pty.masterFd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B921600));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);

    // Four data bits cannot be framed: refused on the device, the old settings stay.
    EXPECT_EQ(errorOf([&] { port.setSettings(QStringLiteral("9600,n,4,1")); }), 380);
    EXPECT_EQ(port.Settings(), QStringLiteral("921600,n,8,2"));
    port.setPortOpen(false);
    port.setSettings(QStringLiteral("9600,n,4,1"));
    EXPECT_EQ(errorOf([&] { port.setPortOpen(true); }), 380);
    EXPECT_FALSE(port.PortOpen());

    // Handshaking reaches the device too; values outside 0..3 are refused.
    port.setSettings(QStringLiteral("9600,n,8,1"));
    port.setPortOpen(true);
    port.setHandshaking(SerialControl::comRTS);
    ASSERT_EQ(tcgetattr(pty.masterFd(), &tio), 0);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
    port.setHandshaking(SerialControl::comXOnXoff);
    ASSERT_EQ(tcgetattr(pty.masterFd(), &tio), 0);
    EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    EXPECT_TRUE(tio.c_iflag & IXON);
    EXPECT_EQ(errorOf([&] { port.setHandshaking(4); }), 380);
    EXPECT_EQ(port.Handshaking(), SerialControl::comXOnXoff);
    // A device without modem lines takes DTR and RTS changes without complaint.
    port.setDTREnable(false);
    port.setRTSEnable(false);
    EXPECT_TRUE(port.PortOpen());
}

TEST_F(SerialControlTest, ReceiveEventFollowsThresholdAndNotWaitingReaders)
{
    int events = 0;
    QByteArray taken;
    QObject::connect(&port, &SerialControl::OnComm, [&] {
        ++events;
        EXPECT_EQ(port.CommEvent(), SerialControl::comEvReceive);
        EXPECT_GE(port.InBufferCount(), 1);
        taken += port.Input();
    });
    port.setPortOpen(true);

    // Threshold 0: no events; the bytes wait for a reader.
    ASSERT_TRUE(pty.writeMaster("quiet"));
    runEvents(200);
    EXPECT_EQ(events, 0);
    EXPECT_EQ(port.Input(), QByteArray("quiet"));

    port.setRThreshold(1);
    ASSERT_TRUE(pty.writeMaster("1TP\r\n"));
    ASSERT_TRUE(waitUntil([&] { return taken.size() == 5; }, 1000));
    EXPECT_EQ(taken, QByteArray("1TP\r\n"));
    EXPECT_GE(events, 1);

    // A reader that waits takes the bytes itself; no event for them now or later.
    events = 0;
    std::thread device([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.writeMaster("reply\r\n");
    });
    const bool arrived = port.waitForInput(2000);
    device.join();
    ASSERT_TRUE(arrived);
    EXPECT_EQ(readHost(port, 7, 1000), QByteArray("reply\r\n"));
    runEvents(200);
    EXPECT_EQ(events, 0);

    // Threshold 3: two bytes raise nothing, the third does.
    taken.clear();
    port.setRThreshold(3);
    ASSERT_TRUE(pty.writeMaster("ab"));
    runEvents(200);
    EXPECT_EQ(events, 0);
    ASSERT_TRUE(pty.writeMaster("c"));
    ASSERT_TRUE(waitUntil([&] { return events == 1; }, 1000));
    EXPECT_EQ(taken, QByteArray("abc"));
}

TEST_F(SerialControlTest, WaitForInputBlocksWithinItsLimitWithoutSpinning)
{
    port.setPortOpen(true);
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = cpuMicroseconds();
    EXPECT_FALSE(port.waitForInput(300));
    const qint64 cpuUsed = cpuMicroseconds() - cpuBefore;
    const qint64 waited = clock.elapsed();
    // Its own limit: not at once, and not a fixed second.
    EXPECT_GE(waited, 270);
    EXPECT_LT(waited, 900);
    EXPECT_LT(cpuUsed, spinBoundUs(waited));

    // Bytes end the wait at once.
    std::thread device([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.writeMaster("x");
    });
    clock.restart();
    EXPECT_TRUE(port.waitForInput(3000));
    device.join();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(port.Input(), QByteArray("x"));
}

TEST_F(SerialControlTest, VanishingDeviceClosesThePort)
{
    // Gone while idle: the event loop notices, closes the port and does not spin on the error.
    port.setPortOpen(true);
    const qint64 cpuBefore = cpuMicroseconds();
    QElapsedTimer clock;
    clock.start();
    pty.close();
    runEvents(300);
    EXPECT_LT(cpuMicroseconds() - cpuBefore, spinBoundUs(clock.elapsed()));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(errorOf([&] { port.setOutput("1MO\r"); }), 8018);
    EXPECT_EQ(errorOf([&] { port.Input(); }), 8018);
}

// Fills the device's buffer (nobody reads the master) with lines until the device takes no more;
// then no byte may wait with us, so the next write waits.
void fillDevice(SerialControl& port)
{
    port.setOutBufferSize(1 << 20);
    for (int i = 0; i < 100000 && port.OutBufferCount() == 0; ++i)
        port.setOutput(QByteArray(39, 'f') + '\r');
    // The kernel passes what the terminal took on in its own time and then takes more (late on a
    // busy machine): more waits on our side than it could ever take after that.
    port.setOutput(QByteArray(32 * 1024, 'f'));
    port.setOutBufferSize(1);
}

// A host that writes faster than the line carries finds the device's buffer full again and
// again: each write waits on the port for room, however long the line takes, and every byte
// arrives in order. 90 KB in lines, the first second and a half at 19200 baud.
TEST_F(SerialControlTest, AFullDeviceBufferIsWaitedForNotTakenForAGoneDevice)
{
    ScriptedController line([](const QByteArray&) { return ScriptedController::Answer{}; });
    ASSERT_TRUE(line.isOpen());
    line.setReadBaud(19200);
    qputenv("KVL_COM8", line.slavePath().toLocal8Bit());
    SerialControl paced;
    paced.setCommPort(8);
    paced.setSettings(QStringLiteral("19200,n,8,1"));
    paced.setPortOpen(true);

    QList<QByteArray> sent;
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuBefore = cpuMicroseconds();
    qint64 pacedCpu = -1;
    qint64 pacedWall = 0;
    qsizetype sentWhilePaced = 0;
    for (int i = 0; i < 2250; ++i) {
        sent << QByteArray::number(i).rightJustified(5, '0') + ' ' + QByteArray(33, char('A' + i % 26));
        ASSERT_EQ(errorOf([&] { paced.setOutput(sent.last() + '\r'); }), 0) << i;
        if (pacedCpu < 0 && clock.elapsed() >= 1500) {
            pacedWall = clock.elapsed();
            pacedCpu = cpuMicroseconds() - cpuBefore;
            sentWhilePaced = sent.size();
            line.setReadBaud(2000000);
        }
    }
    ASSERT_TRUE(waitUntil([&] { return line.lines().size() >= sent.size(); }, 30000));
    EXPECT_EQ(line.lines(), sent);
    EXPECT_TRUE(paced.PortOpen());
    // The line held the writer back: in 1.5 s at 19200 baud the buffers and the line take some
    // 25 KB, not 90 KB. Waiting slept on the port.
    EXPECT_LT(sentWhilePaced, 1000);
    EXPECT_LT(pacedCpu, spinBoundUs(pacedWall));
}

// A device that takes nothing more: the write waits for the time the line needs, plus a grace, then
// fails as a device error; the port is closed.
TEST_F(SerialControlTest, ADeviceThatTakesNothingFailsTheWriteAtItsLimit)
{
    port.setSettings(QStringLiteral("115200,n,8,1"));
    port.setPortOpen(true);
    fillDevice(port);
    const qint64 pending = port.OutBufferCount() + 40;
    platform::Clock::useManualClock();
    const qint64 start = platform::Clock::tickMs();
    EXPECT_EQ(errorOf([&] { port.setOutput(QByteArray(40, 'x')); }), 8018);
    const qint64 waited = platform::Clock::tickMs() - start;
    platform::Clock::useRealClock();
    // 5 s, and the line's time for what waits and a full device buffer at 11520 characters a second.
    const qint64 limit = 5000 + (pending + 4096) * 1000 / 11520;
    EXPECT_GE(waited, limit);
    EXPECT_LT(waited, limit + 300);
    EXPECT_FALSE(port.PortOpen());
}

TEST(SerialControlVanishTest, GoneDuringAWaitOrAWrite)
{
    SerialControl port;
    {
        PseudoTerminal pty;
        qputenv("KVL_COM7", pty.slavePath().toLocal8Bit());
        port.setCommPort(7);
        port.setPortOpen(true);
        std::thread device([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            pty.close();
        });
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(port.waitForInput(3000));
        device.join();
        EXPECT_LT(clock.elapsed(), 1500);
        EXPECT_FALSE(port.PortOpen());
        EXPECT_EQ(errorOf([&] { port.waitForInput(10); }), 8018);
    }
    {
        // Gone with no event loop running: the write itself reports it.
        PseudoTerminal pty;
        qputenv("KVL_COM7", pty.slavePath().toLocal8Bit());
        port.setPortOpen(true);
        pty.close();
        EXPECT_EQ(errorOf([&] { port.setOutput("1MO\r"); }), 8018);
        EXPECT_FALSE(port.PortOpen());
        EXPECT_EQ(port.InBufferCount(), 0);
    }
    {
        // Gone while a write waits for room in the device's buffer: a device error at once.
        PseudoTerminal pty;
        qputenv("KVL_COM7", pty.slavePath().toLocal8Bit());
        port.setPortOpen(true);
        fillDevice(port);
        std::atomic<bool> closing{false};
        std::thread device([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            closing = true;
            pty.close();
        });
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(errorOf([&] { port.setOutput(QByteArray(40, 'x')); }), 8018);
        // It failed because the device went, not at once on the full buffer: the close had begun.
        EXPECT_TRUE(closing.load());
        EXPECT_LT(clock.elapsed(), 3000);
        device.join();
        EXPECT_FALSE(port.PortOpen());
        port.setOutBufferSize(512);
    }
    // The freed control opens the next device as usual.
    PseudoTerminal pty;
    qputenv("KVL_COM7", pty.slavePath().toLocal8Bit());
    port.setPortOpen(true);
    port.setOutput("1VE?\r");
    EXPECT_EQ(pty.readMaster(1000), QByteArray("1VE?\r"));
    qunsetenv("KVL_COM7");
}

} // namespace
