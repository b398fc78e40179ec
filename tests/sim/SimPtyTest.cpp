#include "sim/SimController.h"
#include "sim/SimPty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
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
    QByteArray got;
    for (QDeadlineTimer deadline(2000); closed == 0 && !deadline.hasExpired(); got += port.readAll()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        port.waitForReadyRead(10);
    }
    EXPECT_EQ(got, QByteArray());
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(pty.isOpen());
    EXPECT_EQ(sim.lines(), QList<QByteArray>{"VE?"});
    EXPECT_EQ(port.error(), QSerialPort::ReadError);
}

// Reads until `count` bytes came or time is up; elapsed gets the milliseconds it took.
QByteArray readBytes(QSerialPort& port, qsizetype count, const QElapsedTimer& since, double& elapsedMs)
{
    QByteArray got;
    QDeadlineTimer deadline(3000);
    while (got.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        port.waitForReadyRead(1);
        got += port.readAll();
    }
    elapsedMs = double(since.nsecsElapsed()) / 1e6;
    return got;
}

TEST(SimPtyTest, PacedLineTakesTenBitTimesACharacterEachWay)
{
    SimController sim;
    SimPty pty(&sim);
    ASSERT_TRUE(pty.open());
    pty.setBaud(9600);
    EXPECT_EQ(SimPty::characterNs(9600), 1041666);
    const QByteArray reply = QByteArray(88, 'x') + "\r\n"; // 90 characters
    sim.setReply("1ZZ?", reply);
    QSerialPort port;
    ASSERT_TRUE(openPort(port, pty.slavePath()));

    // 5 characters in, then 90 out: 95 x 10 / 9600 s.
    QElapsedTimer clock;
    clock.start();
    port.write("1ZZ?\r");
    port.waitForBytesWritten(100);
    // The line is not complete on the controller's side before its last character has come.
    QCoreApplication::processEvents();
    EXPECT_TRUE(sim.lines().isEmpty());
    double ms = 0;
    EXPECT_EQ(readBytes(port, reply.size(), clock, ms), reply);
    const double expected = 95 * 10 * 1000.0 / 9600;
    EXPECT_GE(ms, expected - 0.5);
    EXPECT_LT(ms, expected * 1.5 + 40) << "a loaded machine may be slower, never this slow";
    EXPECT_EQ(pty.charactersReceived(), 5);
    EXPECT_EQ(pty.charactersSent(), 90);

    // Two lines written at once are paced one after the other; the replies too.
    sim.setReply("1ZZ?", "ab\r\n");
    clock.restart();
    port.write("1ZZ?\r1ZZ?\r");
    EXPECT_EQ(readBytes(port, 8, clock, ms), QByteArray("ab\r\nab\r\n"));
    EXPECT_GE(ms, 14 * 10 * 1000.0 / 9600 - 0.5);

    // Back to no pacing: at once.
    pty.setBaud(0);
    clock.restart();
    port.write("1ZZ?\r");
    EXPECT_EQ(readBytes(port, 4, clock, ms), QByteArray("ab\r\n"));
}

// A dribbling line hands every reply on one character at a time, paced or not, and late replies
// still wait their turn; the replies stay whole and in order.
TEST(SimPtyTest, DribbledRepliesComeOneCharacterAtATime)
{
    SimController sim;
    SimPty pty(&sim);
    ASSERT_TRUE(pty.open());
    sim.setReply("1ZZ?", "abcd\r\n");
    QSerialPort port;
    ASSERT_TRUE(openPort(port, pty.slavePath()));
    constexpr int kDribbleMs = 40;
    pty.setDribble(kDribbleMs);
    EXPECT_EQ(pty.dribbleMs(), kDribbleMs);

    for (const int baud : {0, 9600}) {
        pty.setBaud(baud);
        QElapsedTimer clock;
        clock.start();
        port.write("1ZZ?\r");
        double firstMs = 0;
        EXPECT_EQ(readBytes(port, 1, clock, firstMs), QByteArray("a")) << baud;
        double wholeMs = 0;
        QByteArray got = "a" + readBytes(port, 5, clock, wholeMs);
        EXPECT_EQ(got, QByteArray("abcd\r\n")) << baud;
        // Never sooner than the dribble allows; a loaded machine may be later.
        EXPECT_GE(firstMs, kDribbleMs - 0.5) << baud;
        EXPECT_GE(wholeMs, 6 * kDribbleMs - 0.5) << baud;
        EXPECT_EQ(pty.charactersSent(), (baud == 0 ? 6 : 12));
    }

    // Two replies asked at once, one of them late: both dribble, in order.
    pty.setBaud(0);
    pty.setLateEvery(2, 100);
    QElapsedTimer clock;
    clock.start();
    port.write("1ZZ?\r1ZZ?\r");
    double ms = 0;
    EXPECT_EQ(readBytes(port, 12, clock, ms), QByteArray("abcd\r\nabcd\r\n"));
    EXPECT_GE(ms, 12 * kDribbleMs - 0.5);

    // Off again: the reply comes whole.
    pty.setDribble(0);
    pty.setLateEvery(0, 0);
    clock.restart();
    port.write("1ZZ?\r");
    EXPECT_EQ(readBytes(port, 6, clock, ms), QByteArray("abcd\r\n"));
}

TEST(SimPtyTest, LogStampsEveryLineReceivedAndEveryReplySent)
{
    SimController sim;
    SimPty pty(&sim);
    QStringList log;
    pty.setLog([&](const QString& line) { log << line; });
    ASSERT_TRUE(pty.open());
    sim.setReply("XX?", QByteArray("a\x03" "b\r"));
    QSerialPort port;
    ASSERT_TRUE(openPort(port, pty.slavePath()));
    port.write("VE?\r1VA 4\rXX?\n");
    QDeadlineTimer deadline(2000);
    while (log.size() < 5 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "));
    QStringList texts;
    for (const QString& line : log) {
        EXPECT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
        texts << line.mid(13);
    }
    // A setting has no reply; control characters are shown escaped.
    EXPECT_EQ(texts, (QStringList{QStringLiteral("in  VE?"), QStringLiteral("out KVL410 Version 2.0\\r\\n"),
                                  QStringLiteral("in  1VA 4"), QStringLiteral("in  XX?"),
                                  QStringLiteral("out a\\x03b\\r")}));
}

// The program as an operator starts it: --baud without a number is 19200, --log on its output.
TEST(SimPtyTest, KvlsimPacesAndLogsFromTheCommandLine)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/kvlsim");
    QProcess kvlsim;
    kvlsim.start(program, {QStringLiteral("--baud"), QStringLiteral("--log"), QStringLiteral("--axes"),
                           QStringLiteral("2")});
    if (!kvlsim.waitForStarted(5000))
        GTEST_SKIP() << "kvlsim is not built beside the tests";
    QByteArray out;
    QDeadlineTimer deadline(5000);
    for (; !out.contains('\n') && !deadline.hasExpired(); out += kvlsim.readAllStandardOutput())
        kvlsim.waitForReadyRead(50);
    const QRegularExpression serving(QStringLiteral("^kvlsim: serving on (\\S+) at 19200 baud\n"));
    const auto match = serving.match(QString::fromLocal8Bit(out));
    ASSERT_TRUE(match.hasMatch()) << out.toStdString();

    QSerialPort port;
    ASSERT_TRUE(openPort(port, match.captured(1)));
    // A fresh simulator's axes have speeds to move at; axes without a motor have none.
    port.write("1VA?\r");
    const QByteArray speed = readLine(port);
    EXPECT_GT(speed.trimmed().toDouble(), 0.0) << speed.toStdString();
    port.write("3VA?\r");
    EXPECT_EQ(readLine(port), QByteArray("0\r\n"));

    deadline.setRemainingTime(3000);
    for (out += kvlsim.readAllStandardOutput(); out.count('\n') < 5 && !deadline.hasExpired();
         out += kvlsim.readAllStandardOutput())
        kvlsim.waitForReadyRead(50);
    EXPECT_TRUE(out.contains(" in  1VA?\n")) << out.toStdString();
    EXPECT_TRUE(out.contains(" out " + speed.trimmed() + "\\r\\n\n")) << out.toStdString();
    EXPECT_TRUE(out.contains(" in  3VA?\n")) << out.toStdString();

    kvlsim.terminate();
    EXPECT_TRUE(kvlsim.waitForFinished(3000));
    EXPECT_EQ(kvlsim.exitCode(), 0);
}

// The dribble from the command line: the identification trickles out; a dribble of nothing is
// refused.
TEST(SimPtyTest, KvlsimDribblesFromTheCommandLine)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/kvlsim");
    QProcess refused;
    refused.start(program, {QStringLiteral("--dribble-ms"), QStringLiteral("0")});
    if (!refused.waitForStarted(5000))
        GTEST_SKIP() << "kvlsim is not built beside the tests";
    ASSERT_TRUE(refused.waitForFinished(5000));
    EXPECT_EQ(refused.exitCode(), 2);
    EXPECT_TRUE(refused.readAllStandardError().contains("--dribble-ms wants a number from 1 to 60000"));

    QProcess kvlsim;
    kvlsim.start(program, {QStringLiteral("--dribble-ms"), QStringLiteral("20")});
    ASSERT_TRUE(kvlsim.waitForStarted(5000));
    QByteArray out;
    QDeadlineTimer deadline(5000);
    for (; !out.contains('\n') && !deadline.hasExpired(); out += kvlsim.readAllStandardOutput())
        kvlsim.waitForReadyRead(50);
    const QRegularExpression serving(QStringLiteral("^kvlsim: serving on (\\S+)\n"));
    const auto match = serving.match(QString::fromLocal8Bit(out));
    ASSERT_TRUE(match.hasMatch()) << out.toStdString();

    QSerialPort port;
    ASSERT_TRUE(openPort(port, match.captured(1)));
    QElapsedTimer clock;
    clock.start();
    port.write("VE?\r");
    const QByteArray identification("KVL410 Version 2.0\r\n");
    double ms = 0;
    EXPECT_EQ(readBytes(port, identification.size(), clock, ms), identification);
    EXPECT_GE(ms, identification.size() * 20 - 1);

    kvlsim.terminate();
    EXPECT_TRUE(kvlsim.waitForFinished(3000));
}

} // namespace
