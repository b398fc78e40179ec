#include "tests/library/link/LinkFixtures.h"

#include "library/link/Rs232Transport.h"
#include "tests/support/ScriptedController.h"
#include "tests/support/ScriptedLink.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <atomic>

// The serial link against controllers that are late, flood or dribble, in real time: no reply is
// ever passed off as another query's, and no call outlasts the read limit by much. The controller
// works through its lines in order, so a late reply holds up the replies after it.
namespace {

constexpr qint64 kLimitSlackMs = 500;

// Each axis's position is a value no other axis has.
QByteArray positionOf(int axis)
{
    return QByteArray::number(axis) + "000.0000";
}

int axisOf(const QByteArray& line)
{
    return line.left(1).toInt();
}

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

class MisbehavingLine : public ::testing::Test {
protected:
    // The controller answers "VE?" at once and "<axis>TP?" as answerPosition says.
    void start(std::function<ScriptedController::Answer(int axis, const QByteArray& text)> answerPosition)
    {
        controller = std::make_unique<ScriptedController>([answerPosition](const QByteArray& line) {
            if (line == "VE?")
                return ScriptedController::Answer{"KVL410 Version 2.0\r\n"};
            if (line.endsWith("TP?"))
                return answerPosition(axisOf(line), positionOf(axisOf(line)) + "\r\n");
            return ScriptedController::Answer{};
        });
        ASSERT_TRUE(controller->isOpen());
        comm = openScriptedLink(*controller);
        ASSERT_NE(comm, nullptr);
    }
    void TearDown() override
    {
        comm.reset();
        controller.reset();
        qunsetenv("KVL_COM8");
    }

    // One position query, timed: the status, and the reply checked against the axis asked. A
    // query that did not go out leaves the reply as it was.
    int query(int axis, QString& reply)
    {
        QElapsedTimer t;
        t.start();
        reply = QStringLiteral("untouched");
        const int status = askInNewGo(*comm, QStringLiteral("%1TP?").arg(axis), reply);
        longest = std::max(longest, t.elapsed());
        ++queries;
        if (status == KVLComm::QueryNotSent)
            ++notSent;
        else if (status != 0)
            ++failed;
        else if (reply != QString::fromLatin1(positionOf(axis) + "\r\n"))
            ++wrong;
        if (status == KVLComm::QueryNotSent && reply != QStringLiteral("untouched"))
            ++wrong;
        return status;
    }

    MsgBoxRecorder boxes;
    std::unique_ptr<ScriptedController> controller;
    std::unique_ptr<KVLComm> comm;
    int queries = 0;
    int failed = 0;
    int notSent = 0;
    int wrong = 0;
    qint64 longest = 0;
};

// One reply late by more than the read limit, the controller punctual again after it: the late
// reply answers no later query. Up to 2.6 s late the link stays open: the next query's
// resynchronisation drops the late reply (past 2 s, a second one does, and the query whose turn
// the first took is not sent), and every query sent after it gets its own reply. 4 s of nothing
// may be taken for silence, but never for another query's reply.
TEST_F(MisbehavingLine, OneLateReplyNeverAnswersALaterQuery)
{
    for (const int delayMs : {1600, 1800, 2200, 2600, 4000}) {
        SCOPED_TRACE(delayMs);
        std::atomic<bool> lateDone{false};
        start([delayMs, &lateDone](int axis, const QByteArray& text) {
            const bool late = axis == 1 && !lateDone.exchange(true);
            return ScriptedController::Answer{text, late ? delayMs : 0};
        });
        ErrorEvents events(comm.get());
        boxes.clear();
        QString reply;
        EXPECT_EQ(query(1, reply), -1);
        for (int round = 0; round < 2 && comm->IsOpen(); ++round) {
            for (int axis = 1; axis <= 6 && comm->IsOpen(); ++axis)
                query(axis, reply);
        }
        if (delayMs <= 2600) {
            EXPECT_EQ(failed, 1);
            EXPECT_EQ(notSent, delayMs < 2000 ? 0 : 1);
            EXPECT_EQ(events.count(), 0);
            EXPECT_EQ(boxes.count(), 0);
            EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
        }
        EXPECT_EQ(wrong, 0);
        queries = failed = notSent = 0;
        TearDown();
    }
    EXPECT_LT(longest, 2 * Rs232Transport::ReplyLimitMs + kLimitSlackMs);
}

// Late on every reply, by more than the limit, or every reply dribbled a character every 200 ms:
// no query ever gets another's reply, and the link breaks once, within ten seconds, since no query
// is answered in time while the resynchronisations end on old identifications or not at all.
TEST_F(MisbehavingLine, LateOnEveryReplyBreaksTheLinkOnceWithoutAWrongReply)
{
    struct Line {
        int delayMs;
        int perCharMs;
    };
    for (const Line bad : {Line{1100, 0}, Line{1500, 0}, Line{0, 200}}) {
        SCOPED_TRACE(::testing::Message() << bad.delayMs << " ms late, " << bad.perCharMs << " ms a character");
        std::atomic<bool> late{false};
        controller = std::make_unique<ScriptedController>([bad, &late](const QByteArray& line) {
            const ScriptedController::Answer how{{}, late ? bad.delayMs : 0, late ? bad.perCharMs : 0};
            if (line == "VE?")
                return ScriptedController::Answer{"KVL410 Version 2.0\r\n", how.delayMs, how.perCharMs};
            return ScriptedController::Answer{positionOf(axisOf(line)) + "\r\n", how.delayMs, how.perCharMs};
        });
        comm = openScriptedLink(*controller);
        ASSERT_NE(comm, nullptr);
        late = true;
        ErrorEvents events(comm.get());
        boxes.clear();
        QElapsedTimer t;
        t.start();
        QString reply;
        for (int axis = 1; comm->IsOpen() && t.elapsed() < 15000; axis = axis % 6 + 1)
            query(axis, reply);
        EXPECT_LT(t.elapsed(), 10000);
        EXPECT_EQ(events.count(), 1);
        EXPECT_EQ(boxes.count(), 1);
        EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
        EXPECT_EQ(wrong, 0);
        queries = failed = notSent = 0;
        TearDown();
    }
}

// Replies that never come, now and then: each costs its own query. The next query goes out as
// soon as the identification is back and gets its own reply, so the link stays open for good. A
// controller that stops answering its queries still breaks the link once, after
// UnansweredQueryLimit queries in a row went unanswered, though it answers the
// resynchronisations in between.
TEST_F(MisbehavingLine, ALostReplyCostsOneQueryNeverTheLink)
{
    std::atomic<int> asked{0};
    start([&asked](int, const QByteArray& text) {
        // Every fifth position query goes unanswered.
        return ++asked % 5 == 0 ? ScriptedController::Answer{} : ScriptedController::Answer{text};
    });
    ErrorEvents events(comm.get());
    QString reply;
    for (int round = 0; round < 20; ++round) {
        const int axis = round % 4 + 1;
        const int status = query(axis, reply);
        EXPECT_EQ(status, (round + 1) % 5 == 0 ? -1 : 0) << "round " << round;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(failed, 4);
    EXPECT_EQ(events.count(), 0);
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
    EXPECT_LT(longest, Rs232Transport::ReplyLimitMs + kLimitSlackMs);
    EXPECT_EQ(controller->lines().size(), 1 + 20 + 3) << "VE?, every query, and VE? after each lost reply but the last";

    // Then a controller that still names itself but answers no query: each query goes out and
    // gets nothing, and after UnansweredQueryLimit of them the link breaks once.
    TearDown();
    start([](int, const QByteArray&) { return ScriptedController::Answer{}; });
    ErrorEvents silent(comm.get());
    boxes.clear();
    queries = failed = notSent = 0;
    QElapsedTimer t;
    t.start();
    for (int axis = 1; comm->IsOpen() && axis <= 12; ++axis)
        query(axis % 6 + 1, reply);
    EXPECT_EQ(silent.count(), 1);
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    // The identification is still answered: each query goes out, and gets nothing.
    QList<QByteArray> sent{"VE?"};
    for (int axis = 1; axis <= KVLComm::UnansweredQueryLimit; ++axis)
        sent << (axis > 1 ? QList<QByteArray>{"VE?"} : QList<QByteArray>{}) << QByteArray::number(axis % 6 + 1) + "TP?";
    EXPECT_EQ(controller->lines(), sent);
    EXPECT_LT(t.elapsed(), 3 * 10000);
}

// Digits without a line end, again and again: every read ends at its limit and fails, whether it
// sends or only reads, and the program's memory stays flat, while a query waits and while none does.
TEST_F(MisbehavingLine, AFloodWithoutLineEndFailsEachReadWithinItsLimit)
{
    start([](int, const QByteArray& text) { return ScriptedController::Answer{text}; });
    ErrorEvents events(comm.get());
    const qint64 before = residentKb();
    controller->setFlood(QByteArray(4096, '7'));
    QString reply;
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(comm->ReadAscii(reply), -1);
    EXPECT_EQ(reply, QString());
    EXPECT_LT(t.elapsed(), Rs232Transport::ReplyLimitMs + kLimitSlackMs);
    // Nobody reading: what the receive event keeps is bounded too.
    for (t.restart(); t.elapsed() < 1500;)
        platform::Clock::pumpFor(20);
    // The first query finds the line out of step: it and the next ask for the identification in
    // vain and are not sent, until a spell of such exchanges breaks the link.
    for (int axis = 1; comm->IsOpen() && axis <= 8; ++axis)
        EXPECT_NE(query(axis, reply), 0);
    EXPECT_GE(queries, SilenceWatch::MinFailures);
    EXPECT_LE(queries, SilenceWatch::MinFailures + 1);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(events.count(), 1);
    EXPECT_LT(longest, Rs232Transport::ReplyLimitMs + kLimitSlackMs);
    EXPECT_GT(controller->bytesSent(), 1000000) << "the flood went on throughout";
#ifndef __SANITIZE_ADDRESS__ // the address sanitizer keeps freed memory in quarantine
    EXPECT_LT(residentKb() - before, 30 * 1024);
#endif
    RecordProperty("ResidentGrowthKb", int(residentKb() - before));
    RecordProperty("FloodBytes", int(controller->bytesSent()));
}

// A reply slower than the limit: a send-and-read never takes the cut-off part for a value, a
// separate read (terminal, firmware download) hands over what came, and the identification cut
// off short of its end does not open the link.
TEST_F(MisbehavingLine, ADribbledReplyIsNoReply)
{
    start([](int, const QByteArray& text) { return ScriptedController::Answer{text, 0, 150}; });
    QString reply;
    EXPECT_EQ(query(1, reply), -1);
    EXPECT_EQ(reply, QString());
    EXPECT_LT(longest, Rs232Transport::ReplyLimitMs + kLimitSlackMs);

    // The rest of that line goes by; a terminal's read of a slow line gets what came.
    QThread::msleep(1200);
    EXPECT_EQ(comm->SendAscii(QStringLiteral("2TP?")), 0);
    EXPECT_EQ(comm->ReadAscii(reply), 0);
    EXPECT_TRUE(reply.startsWith(QStringLiteral("2000"))) << qPrintable(reply);
    EXPECT_FALSE(reply.endsWith(QLatin1Char('\n'))) << qPrintable(reply);
    EXPECT_EQ(wrong, 0);
    TearDown();

    controller = std::make_unique<ScriptedController>([](const QByteArray&) {
        return ScriptedController::Answer{"KVL410 Version 2.0\r\n", 0, 150};
    });
    qputenv("KVL_COM8", controller->slavePath().toLocal8Bit());
    comm = std::make_unique<KVLComm>();
    comm->setBusType(BUS_TYPE_RS232);
    comm->setCommPort(8);
    EXPECT_EQ(comm->KVLInit(), -1);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
}

} // namespace

namespace {

// A controller that answers in order, a line time apart, each axis with its own position; the
// identification, asked for by anyone, late when lateIdentificationMs says so.
ScriptedController::Script inOrder(std::atomic<int>& lateIdentificationMs)
{
    return [&lateIdentificationMs](const QByteArray& line) {
        if (line == "VE?" || line == "VE")
            return ScriptedController::Answer{"KVL410 Version 2.0\r\n", 10 + lateIdentificationMs.exchange(0)};
        if (line.endsWith("TP?"))
            return ScriptedController::Answer{positionOf(axisOf(line)) + "\r\n", 10};
        return ScriptedController::Answer{};
    };
}

} // namespace

// An identification asked for by a query of its own (or typed, and left unread), answered late,
// then back-to-back queries of four axes: no query gets another's reply or the identification,
// the link stays open and the queries are answered. The same when the port is opened again while
// a reply from before is still on its way.
TEST_F(MisbehavingLine, ALateIdentificationOfAnyoneShiftsNoReply)
{
    struct Case {
        bool typed;
        int lateMs;
    };
    for (const Case c : {Case{false, 1100}, Case{false, 1400}, Case{false, 2500}, Case{true, 1200}, Case{true, 2500}}) {
        {
            const bool typed = c.typed;
            const int lateMs = c.lateMs;
            SCOPED_TRACE(::testing::Message() << (typed ? "typed VE " : "VE? query ") << lateMs << " ms late");
            std::atomic<int> late{0};
            controller = std::make_unique<ScriptedController>(inOrder(late));
            comm = openScriptedLink(*controller);
            ASSERT_NE(comm, nullptr);
            ErrorEvents events(comm.get());
            late = lateMs;
            QString reply;
            if (typed) {
                EXPECT_EQ(comm->SendAscii(QStringLiteral("VE")), 0);
            } else {
                EXPECT_EQ(askInNewGo(*comm, QStringLiteral("VE?"), reply), -1);
            }
            // The controller works through its lines in order: nothing is answered before the
            // late identification; after it, every query is.
            int answered = 0;
            QElapsedTimer t;
            t.start();
            for (int axis = 1; t.elapsed() < lateMs + 1000; axis = axis % 4 + 1)
                answered += query(axis, reply) == 0 ? 1 : 0;
            EXPECT_EQ(wrong, 0);
            EXPECT_GT(answered, 10);
            EXPECT_EQ(events.count(), 0);
            EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
            queries = failed = notSent = wrong = 0;
            TearDown();
        }
    }

    // The port opened again while a reply is 1.5 s late.
    std::atomic<int> late{0};
    std::atomic<bool> lateOnce{false};
    controller = std::make_unique<ScriptedController>([&](const QByteArray& line) {
        if (line.endsWith("TP?") && lateOnce.exchange(false))
            return ScriptedController::Answer{positionOf(axisOf(line)) + "\r\n", 1500};
        return inOrder(late)(line);
    });
    comm = openScriptedLink(*controller);
    ASSERT_NE(comm, nullptr);
    ErrorEvents events(comm.get());
    lateOnce = true;
    QString reply;
    EXPECT_EQ(query(1, reply), -1);
    comm->KVLClose();
    ASSERT_EQ(comm->KVLInit(), 0);
    ASSERT_EQ(comm->KVLOpen(), 0);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
    QElapsedTimer t;
    t.start();
    int answeredInARow = 0;
    for (int axis = 2; t.elapsed() < 2500; axis = axis % 4 + 1)
        answeredInARow = query(axis, reply) == 0 ? answeredInARow + 1 : 0;
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(answeredInARow, 20);
    EXPECT_EQ(events.count(), 0);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
}

// One query unanswered, then every reply 0.9 s late: reads outside the polls, one after another
// with events let run only between goes as a window's reads do, hold a stop clicked 100 ms into
// one of them for no more than about a read limit.
TEST_F(MisbehavingLine, AStopClickedDuringReadsOutsideThePollsGoesOutWithinAReadLimit)
{
    std::atomic<int> asked{0};
    start([&asked](int, const QByteArray& text) {
        const int n = ++asked;
        if (n == 1)
            return ScriptedController::Answer{};
        return ScriptedController::Answer{text, 900};
    });
    controller->setReadBaud(19200);
    QString reply;
    EXPECT_EQ(query(1, reply), -1);
    qint64 clickedAt = -1;
    QTimer click;
    click.setSingleShot(true);
    QObject::connect(&click, &QTimer::timeout, comm.get(), [&] {
        clickedAt = ScriptedController::clockMs();
        comm->SendAscii(QStringLiteral("0ST"));
    });
    const qint64 due = ScriptedController::clockMs() + 100;
    click.start(100);
    // A window's reads, from the program's event loop: one go after another, each asked again
    // once events have run.
    runInEventLoop([&] {
        for (int axis = 1; axis <= 6 && clickedAt < 0; ++axis) {
            reply = QStringLiteral("untouched");
            if (comm->SendReadAscii(QStringLiteral("%1TP?").arg(axis), reply) == KVLComm::QueryNotSent)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
    });
    ASSERT_GE(clickedAt, 0);
    QElapsedTimer wait;
    wait.start();
    while (controller->receivedAt("0ST") < 0 && wait.elapsed() < 3000)
        QThread::msleep(5);
    const qint64 stopAt = controller->receivedAt("0ST");
    ASSERT_GE(stopAt, 0);
    // About a read limit (1.2 s at most here); bounded at three times the 1.3 s goal.
    EXPECT_LT(stopAt - due, 3 * 1300);
    EXPECT_EQ(wrong, 0);
}

// Every second answer 1.2 s late, holding up the ones after it: a live controller, half its
// answers in time. The link stays open, and half the queries are answered, none with another's
// reply.
TEST_F(MisbehavingLine, EverySecondAnswerLateKeepsTheLinkOpen)
{
    std::atomic<int> answers{0};
    controller = std::make_unique<ScriptedController>([&answers](const QByteArray& line) {
        QByteArray text;
        if (line == "VE?")
            text = "KVL410 Version 2.0\r\n";
        else if (line.endsWith("TP?"))
            text = positionOf(axisOf(line)) + "\r\n";
        else
            return ScriptedController::Answer{};
        return ScriptedController::Answer{text, ++answers % 2 == 0 ? 1200 : 10};
    });
    comm = openScriptedLink(*controller);
    ASSERT_NE(comm, nullptr);
    ErrorEvents events(comm.get());
    QString reply;
    int answered = 0;
    QElapsedTimer t;
    t.start();
    for (int axis = 1; t.elapsed() < 8000 && comm->IsOpen(); axis = axis % 4 + 1) {
        const int status = query(axis, reply);
        answered += status == 0 ? 1 : 0;
        // The next query comes before the late answer does: were the line asked for its
        // identification at once, every query would fall on a late answer.
        platform::Clock::pumpFor(100);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(events.count(), 0);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
    EXPECT_GT(answered, queries / 3);
}
