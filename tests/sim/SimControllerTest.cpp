#include "sim/SimController.h"

#include <QByteArray>
#include <QList>

#include <gtest/gtest.h>

namespace {

// Sends one line and returns everything the controller answered to it.
QByteArray ask(SimController& sim, const QByteArray& line)
{
    sim.receive(line);
    return sim.takeAllOutput();
}

TEST(SimControllerTest, SettingsAreKeptPerAxisAndAnsweredByQueries)
{
    SimController sim;
    EXPECT_EQ(ask(sim, "3VA10.5\r"), QByteArray());
    EXPECT_EQ(ask(sim, "3VA?\r"), QByteArray("10.5\r\n"));
    EXPECT_EQ(ask(sim, "2VA?\r"), QByteArray("0\r\n"));
    // No axis number is axis 0, the whole controller.
    EXPECT_EQ(ask(sim, "VA?\r"), QByteArray("0\r\n"));
    ask(sim, "AC 2.5\r");
    EXPECT_EQ(ask(sim, "0AC?\r"), QByteArray("2.5\r\n"));
    EXPECT_EQ(ask(sim, "3AC?\r"), QByteArray("0\r\n"));
    // Blanks before the axis and the value, and a negative value.
    ask(sim, " 1VA-2\r");
    EXPECT_EQ(sim.value(1, "VA"), QByteArray("-2"));
    EXPECT_EQ(ask(sim, " 1va?\r"), QByteArray("-2\r\n"));

    EXPECT_EQ(ask(sim, "VE?\r\n"), QByteArray("KVL410 Version 2.0\r\n"));
    sim.setModel("KVL400 Version 1.3");
    EXPECT_EQ(ask(sim, "VE?\r"), QByteArray("KVL400 Version 1.3\r\n"));

    // Motors on the first axisCount() axes; stages unknown.
    sim.setAxisCount(2);
    EXPECT_EQ(ask(sim, "2QM?\r"), QByteArray("1\r\n"));
    EXPECT_EQ(ask(sim, "3QM?\r"), QByteArray("0\r\n"));
    EXPECT_EQ(ask(sim, "1ID?\r"), QByteArray("Unknown\r\n"));
}

TEST(SimControllerTest, ConfigurationWordsTravelInHexadecimal)
{
    SimController sim;
    ask(sim, "1ZB0120\r");
    EXPECT_EQ(sim.word(1, "ZB"), 0x120u);
    EXPECT_EQ(ask(sim, "1ZB?\r"), QByteArray("120H\r\n"));
    EXPECT_EQ(ask(sim, "2ZB?\r"), QByteArray("0H\r\n"));
    ask(sim, "ZZ0FFFFFFFF\r");
    EXPECT_EQ(ask(sim, "ZZ?\r"), QByteArray("FFFFFFFFH\r\n"));
    // A query that carries a value is still a query: it answers and changes nothing.
    for (const char* query : {"ZZ9?\r", "ZZ 9 ?\r", "ZZ?9\r"})
        EXPECT_EQ(ask(sim, query), QByteArray("FFFFFFFFH\r\n")) << query;
    EXPECT_EQ(ask(sim, "1VA5?\r"), QByteArray("0\r\n"));
    EXPECT_EQ(sim.value(1, "VA"), QByteArray("0"));
    ask(sim, " 2ZA 0a0\r");
    EXPECT_EQ(ask(sim, "2ZA?\r"), QByteArray("A0H\r\n"));
    ask(sim, "BO 05\r");
    EXPECT_EQ(ask(sim, "BO?\r"), QByteArray("5H\r\n"));
    sim.setWord(0, "ZU", 0x5);
    EXPECT_EQ(ask(sim, "ZU?\r"), QByteArray("5H\r\n"));
    sim.setHardwareStatus(0x80000001u, 0x101);
    EXPECT_EQ(ask(sim, "PH\r"), QByteArray("80000001H, 101H\r\n"));
    EXPECT_EQ(ask(sim, "PH?\r"), QByteArray("80000001H, 101H\r\n"));
}

TEST(SimControllerTest, RecordsEveryLineExactly)
{
    SimController sim;
    QList<QByteArray> signalled;
    QObject::connect(&sim, &SimController::lineReceived,
                     [&](const QByteArray& line) { signalled.append(line); });

    // A stream in pieces, with each kind of terminator.
    sim.receive("1M");
    sim.receive("O\r2MO\n3M");
    sim.receive("O\r");
    sim.receive("\nST\r\r");
    // One bus write is one message: its unterminated end is a line too.
    sim.receive("QP", true);
    sim.receive(QByteArray("X\0\xB5\r", 4));

    const QList<QByteArray> lines{"1MO", "2MO", "3MO", "ST", "", "QP", QByteArray("X\0\xB5", 3)};
    EXPECT_EQ(sim.lines(), lines);
    EXPECT_EQ(signalled, lines);
    const QList<QByteArray> raw{"1MO\r", "2MO\n", "3MO\r\n", "ST\r", "\r", "QP",
                                QByteArray("X\0\xB5\r", 4)};
    EXPECT_EQ(sim.rawLines(), raw);
    EXPECT_EQ(sim.receivedBytes().size(), 23);

    sim.clearLog();
    EXPECT_TRUE(sim.lines().isEmpty());
    EXPECT_TRUE(sim.rawLines().isEmpty());
}

TEST(SimControllerTest, AxesMoveWhenTold)
{
    SimController sim;
    // At once by default.
    ask(sim, "1PA 10.5\r");
    EXPECT_EQ(ask(sim, "1TP\r"), QByteArray("10.5000\r\n"));
    ask(sim, "1PR-0.5\r");
    EXPECT_EQ(ask(sim, "1TP?\r"), QByteArray("10.0000\r\n"));
    ask(sim, "1DH0\r");
    EXPECT_DOUBLE_EQ(sim.position(1), 0.0);

    // Over steps.
    sim.setMoveSteps(4);
    ask(sim, "2PA 8\r");
    EXPECT_EQ(ask(sim, " 2MD?\r"), QByteArray("0\r\n"));
    sim.step(2);
    EXPECT_DOUBLE_EQ(sim.position(2), 4.0);
    EXPECT_EQ(ask(sim, "MD?\r"), QByteArray("0\r\n"));
    sim.step(2);
    EXPECT_EQ(ask(sim, "2MD?\r"), QByteArray("1\r\n"));
    EXPECT_DOUBLE_EQ(sim.position(2), 8.0);

    // A home search ends on zero.
    ask(sim, "2OR1\r");
    sim.step(4);
    EXPECT_DOUBLE_EQ(sim.position(2), 0.0);

    // A jog runs at VA until stopped; the stop runs out over the move steps.
    ask(sim, "3VA 20\r");
    ask(sim, "3MV+\r");
    sim.step(3);
    EXPECT_DOUBLE_EQ(sim.position(3), 3.0);
    ask(sim, "3MV-\r");
    sim.step(1);
    EXPECT_DOUBLE_EQ(sim.position(3), 2.0);
    ask(sim, "0ST\r");
    EXPECT_TRUE(sim.isMoving(3));
    sim.step(4);
    EXPECT_FALSE(sim.isMoving(3));
    EXPECT_DOUBLE_EQ(sim.position(3), 2.0);

    // Motor power.
    EXPECT_EQ(ask(sim, "2MO?\r"), QByteArray("0\r\n"));
    ask(sim, "2MO\r");
    EXPECT_TRUE(sim.motorOn(2));
    EXPECT_EQ(ask(sim, "2MO?\r"), QByteArray("1\r\n"));
    ask(sim, "0MF\r");
    EXPECT_FALSE(sim.motorOn(2));
}

TEST(SimControllerTest, ErrorBufferIsReadOneErrorAtATime)
{
    SimController sim;
    sim.pushError(35, "FOLLOWING ERROR");
    sim.pushError(7, "AXIS NUMBER OUT OF RANGE");
    EXPECT_EQ(sim.statusByte() & 0x04, 0x04);

    const QList<QByteArray> first = ask(sim, "TB\r").split(',');
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(first.at(0), QByteArray("35"));
    EXPECT_EQ(first.at(2), QByteArray(" FOLLOWING ERROR\r\n"));
    EXPECT_TRUE(ask(sim, "TB?\r").startsWith("7, "));
    const QByteArray none = ask(sim, "TB\r");
    EXPECT_TRUE(none.startsWith("0, ")) << none.constData();
    EXPECT_TRUE(none.endsWith("\r\n"));
    EXPECT_EQ(none.count(','), 2);
}

TEST(SimControllerTest, ResetRestoresSavedSettingsAndProgramModeHoldsLines)
{
    SimController sim;
    ask(sim, "1VA 5\r");
    ask(sim, "SM\r");
    ask(sim, "1VA 9\r");
    sim.pushError(1, "X");
    ask(sim, "RS\r");
    EXPECT_EQ(ask(sim, "1VA?\r"), QByteArray("5\r\n"));
    EXPECT_EQ(sim.errorCount(), 0);

    // Program entry: lines are stored, not run, until QP.
    ask(sim, "EP\r");
    EXPECT_EQ(ask(sim, "1VA 7\r1VA?\r"), QByteArray());
    ask(sim, "QP\r");
    EXPECT_EQ(ask(sim, "1VA?\r"), QByteArray("5\r\n"));
}

TEST(SimControllerTest, ScriptedRepliesAndReplyForms)
{
    SimController sim;
    sim.setReply("1ID?", "XY-100, 25mm\r\n");
    sim.setReply(" 1MD?", "0\r");
    EXPECT_EQ(ask(sim, "1ID?\r"), QByteArray("XY-100, 25mm\r\n"));
    EXPECT_EQ(ask(sim, " 1MD?\r"), QByteArray("0\r"));
    EXPECT_EQ(ask(sim, "1MD?\r"), QByteArray("1\r\n")); // only the exact line
    sim.setReply("VE?", QByteArray());
    EXPECT_EQ(ask(sim, "VE?\r"), QByteArray());
    sim.clearReplies();

    sim.setNoLineFeed(true);
    EXPECT_EQ(ask(sim, "VE?\r"), QByteArray("KVL410 Version 2.0\r"));
    sim.setNoLineFeed(false);
    sim.setSilent(true);
    EXPECT_EQ(ask(sim, "VE?\r"), QByteArray());
    sim.setSilent(false);

    // Replies wait in order and may be read in parts.
    sim.receive("VE?\r1TP\r");
    EXPECT_EQ(sim.pendingReplies(), 2);
    EXPECT_EQ(sim.takeReply(3), QByteArray("KVL"));
    EXPECT_EQ(sim.takeReply(), QByteArray("410 Version 2.0\r\n"));
    sim.deviceClear();
    EXPECT_EQ(sim.pendingReplies(), 0);
    EXPECT_EQ(sim.deviceClears(), 1);
}

TEST(SimControllerTest, VanishAfterRecordsTheLastLineButAnswersNothing)
{
    SimController sim;
    int gone = 0;
    QObject::connect(&sim, &SimController::vanished, [&] { ++gone; });
    sim.vanishAfter(2);
    EXPECT_EQ(ask(sim, "1MO\r"), QByteArray());
    EXPECT_EQ(ask(sim, "VE?\r1TP\r"), QByteArray());
    EXPECT_TRUE(sim.isVanished());
    EXPECT_EQ(gone, 1);
    EXPECT_EQ(sim.lines(), (QList<QByteArray>{"1MO", "VE?"}));
    EXPECT_EQ(sim.takeDriverFailure(), SimController::VanishedCode);

    SimController other;
    other.failNext(-5, 2);
    EXPECT_EQ(other.takeDriverFailure(), -5);
    EXPECT_EQ(other.takeDriverFailure(), -5);
    EXPECT_EQ(other.takeDriverFailure(), 0);
}

TEST(SimControllerTest, FirmwareDownloads)
{
    SimController sim;
    EXPECT_EQ(ask(sim, "Download 400\r"), QByteArray("Ready\r\n"));
    EXPECT_TRUE(sim.isDownloading());
    EXPECT_EQ(ask(sim, "\x02\r"), QByteArray());
    EXPECT_EQ(ask(sim, "$1VA?\r"), QByteArray()); // image lines are not run
    // On a stream the ETX line ends the image without a CR.
    EXPECT_EQ(ask(sim, "S9\x03"), QByteArray("Done\r\n"));
    EXPECT_FALSE(sim.isDownloading());
    EXPECT_EQ(sim.downloadData(), QByteArray("\x02\r$1VA?\rS9\x03"));
    EXPECT_EQ(sim.lines().last(), QByteArray("S9\x03"));

    // The CPU image: a count line, then raw bytes that may hold CR.
    sim.clearLog();
    EXPECT_EQ(ask(sim, "Download 8386\r"), QByteArray("Ready\r\n"));
    sim.receive("5\r");
    sim.receive("AB\r", true);
    sim.receive("\nC", true);
    EXPECT_FALSE(sim.isDownloading());
    EXPECT_EQ(sim.downloadData(), QByteArray("AB\r\nC"));
    EXPECT_EQ(sim.lines(), (QList<QByteArray>{"Download 8386", "5"}));
    EXPECT_EQ(ask(sim, "VE?\r"), QByteArray("KVL410 Version 2.0\r\n"));

    EXPECT_EQ(ask(sim, "Download 420\r"), QByteArray("Ready\r\n"));
    EXPECT_EQ(ask(sim, ":020000040000FA\r"), QByteArray());
    EXPECT_EQ(ask(sim, ":00000001FF\r"), QByteArray("Done\r\n"));

    // A count no integer holds ("1e300" once overflowed the conversion), or none the controller
    // takes, ends the download with an error; what follows is a command again.
    for (const char* count : {"1e300", "-5", "0", "2.5", "16777217", "abc"}) {
        sim.clearErrors();
        EXPECT_EQ(ask(sim, "Download 8386\r"), QByteArray("Ready\r\n"));
        EXPECT_EQ(ask(sim, QByteArray(count) + "\r"), QByteArray()) << count;
        EXPECT_FALSE(sim.isDownloading()) << count;
        EXPECT_EQ(sim.errorCount(), 1) << count;
        EXPECT_EQ(ask(sim, "VE?\r"), QByteArray("KVL410 Version 2.0\r\n")) << count;
    }
    sim.clearErrors();
    EXPECT_EQ(ask(sim, "Download 8386\r"), QByteArray("Ready\r\n"));
    sim.receive("16777216\r");
    EXPECT_TRUE(sim.isDownloading()) << "the largest image is taken";
    EXPECT_EQ(sim.errorCount(), 0);
}

TEST(SimControllerTest, ABoundedLogKeepsOnlyTheRecentLines)
{
    SimController sim;
    sim.setLogLimit(10, 100);
    for (int i = 0; i < 100000; ++i)
        sim.receive("1TP\r");
    sim.receive("2TP\r");
    EXPECT_GE(sim.lines().size(), 10);
    EXPECT_LE(sim.lines().size(), 20);
    EXPECT_EQ(sim.lines().size(), sim.rawLines().size());
    EXPECT_EQ(sim.lines().last(), QByteArray("2TP"));
    EXPECT_EQ(sim.rawLines().last(), QByteArray("2TP\r"));
    EXPECT_GE(sim.receivedBytes().size(), 100);
    EXPECT_LE(sim.receivedBytes().size(), 200);
    EXPECT_TRUE(sim.receivedBytes().endsWith("1TP\r2TP\r"));
    EXPECT_EQ(sim.takeAllOutput().count("\r\n"), 100001) << "every query is still answered";

    // Digits without a line end are not held without bound; the line they make is not acted on.
    for (int i = 0; i < 10000; ++i)
        sim.receive("1111111111");
    sim.receive("\r3TP\r");
    EXPECT_LE(sim.receivedBytes().size(), 200);
    EXPECT_EQ(sim.lines().last(), QByteArray("3TP"));
    EXPECT_EQ(sim.takeAllOutput().count("\r\n"), 1) << "only the whole line was answered";
}

} // namespace
