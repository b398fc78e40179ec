#include "tests/library/link/LinkFixtures.h"

#include "platform/kernel/MachineLock.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <stdexcept>
#include <unistd.h>

using platform::RuntimeError;

// The lock is machine-wide, so two tests run this program a second time as a child process: when
// KVL_LINK_TEST_CHILD is set, the child does its part before main() and exits.
namespace {

int runChild(const QByteArray& mode)
{
    if (mode == "holder") {
        platform::MachineLock lock(QString::fromLatin1(KVLComm::LockName));
        lock.acquire();
        std::printf("held\n");
        std::fflush(stdout);
        for (;;)
            ::pause(); // until killed
    }
    if (mode == "box") {
        static int argc = 1;
        static char name[] = "child";
        static char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        // A failure inside a locked member whose box nobody answers.
        platform::setMsgBoxHandler([](const QString&, int, const QString&) {
            std::printf("box\n");
            std::fflush(stdout);
            for (;;)
                ::pause();
            return 1;
        });
        KVLComm comm;
        comm.setBusType(BUS_TYPE_GPIB); // no GPIB library here: the start fails with a run-time error
        comm.KVLInit();
        return 3;
    }
    return 2;
}

const bool g_isChild = [] {
    const QByteArray mode = qgetenv("KVL_LINK_TEST_CHILD");
    if (!mode.isEmpty())
        ::_exit(runChild(mode));
    return false;
}();

class Child {
public:
    explicit Child(const char* mode)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KVL_LINK_TEST_CHILD"), QString::fromLatin1(mode));
        m_process.setProcessEnvironment(env);
        m_process.start(QCoreApplication::applicationFilePath(), {});
    }
    ~Child()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // The first line the child prints, within timeoutMs.
    QByteArray firstLine(int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (!m_process.canReadLine() && t.elapsed() < timeoutMs)
            m_process.waitForReadyRead(100);
        return m_process.readLine().trimmed();
    }

private:
    QProcess m_process;
};

// Answers boxes like MsgBoxRecorder and notes, for each, whether this thread held the lock.
struct LockWitness {
    LockWitness()
    {
        platform::setMsgBoxHandler([this](const QString& prompt, int, const QString&) {
            seen << prompt.left(12);
            heldAtBox << probe.isHeldByCurrentThread();
            return 1;
        });
    }
    ~LockWitness() { platform::setMsgBoxHandler({}); }
    platform::MachineLock probe{QString::fromLatin1(KVLComm::LockName)};
    QStringList seen;
    QList<bool> heldAtBox;
};

TEST_F(InProcessLink, BoxesOfLockedMembersComeAfterTheLockIsReleased)
{
    // The break report of a failure inside an exchange, and its event after the box.
    open(BUS_TYPE_USB);
    LockWitness witness;
    QList<bool> heldAtEvent;
    QObject::connect(comm.get(), &KVLComm::CommErrorEvent, comm.get(), [&](short&) {
        witness.seen << QStringLiteral("event");
        heldAtEvent << witness.probe.isHeldByCurrentThread();
    });
    sim().setSilent(true);
    // A query, then resynchronisations that get nothing either: the first query is unanswered,
    // the next are not sent, and the exchange that ends a silent spell breaks the link.
    EXPECT_TRUE(isSilentSpell(askUntilBroken(*comm)));
    EXPECT_EQ(witness.seen, (QStringList{"Error 1001 A", "event"}));
    EXPECT_EQ(heldAtEvent, QList<bool>{false});

    // The board box of the start, and the serial port box.
    platform::setVersionForTests({2, 4, 0});
    comm->setBusType(BUS_TYPE_PCI);
    comm->setDeviceID(3);
    EXPECT_EQ(comm->KVLInit(), 0);
    qputenv("KVL_COM9", "/dev/no-such-port");
    comm->setCommPort(9);
    comm->setBusType(BUS_TYPE_RS232);
    EXPECT_EQ(comm->KVLOpen(), 0);
    qunsetenv("KVL_COM9");
    EXPECT_EQ(witness.seen.size(), 4);
    EXPECT_EQ(witness.heldAtBox, (QList<bool>{false, false, false}));
}

TEST_F(InProcessLink, HandleErrorStopsTheTimerFirstAndSurvivesAThrowingHandler)
{
    open(BUS_TYPE_USB);
    comm->setTimerEnabled(true);
    QList<bool> timerAtBox;
    platform::setMsgBoxHandler([&](const QString&, int, const QString&) {
        timerAtBox << comm->TimerEnabled();
        return 1;
    });
    int raised = 0;
    QObject::connect(comm.get(), &KVLComm::CommErrorEvent, comm.get(), [&](short&) {
        ++raised;
        throw std::runtime_error("handler failed");
    });
    RuntimeError error = RuntimeError::standard(RuntimeError::BreakInCommunications);
    EXPECT_THROW(comm->HandleError(error), std::runtime_error);
    EXPECT_EQ(timerAtBox, QList<bool>{false});

    // The report is not stuck: the next failure is shown and raised again.
    RuntimeError again = RuntimeError::standard(RuntimeError::BreakInCommunications);
    EXPECT_THROW(comm->HandleError(again), std::runtime_error);
    EXPECT_EQ(raised, 2);
    EXPECT_EQ(timerAtBox.size(), 2);

    // Raised after a locked member, the handler's exception ends in a box, not in the caller.
    open(BUS_TYPE_USB);
    QObject::connect(comm.get(), &KVLComm::CommErrorEvent, comm.get(), [&](short&) {
        ++raised;
        throw std::runtime_error("handler failed");
    });
    timerAtBox.clear();
    sim().setSilent(true);
    QList<int> statuses;
    EXPECT_NO_THROW(statuses = askUntilBroken(*comm));
    EXPECT_TRUE(isSilentSpell(statuses));
    EXPECT_EQ(raised, 3);
    EXPECT_EQ(timerAtBox.size(), 2); // the break, then the handler's failure
    platform::setMsgBoxHandler({});
}

TEST_F(InProcessLink, ExceptionsFromTickHandlersNeverEndTheProgram)
{
    open(BUS_TYPE_USB);
    ErrorEvents events(comm.get());
    int ticks = 0;
    std::function<void()> thrower;
    QObject::connect(comm.get(), &KVLComm::Timer, comm.get(), [&] {
        ++ticks;
        if (thrower) {
            const std::function<void()> once = std::exchange(thrower, {});
            once();
        }
    });
    const auto tickOnce = [&] {
        const int before = ticks;
        comm->setInterval(0);
        comm->setTimerEnabled(true);
        for (int i = 0; i < 100 && ticks == before; ++i)
            platform::Clock::pumpFor(5);
        comm->setTimerEnabled(false);
    };

    // An error that is not the link's: shown, and the link stays.
    thrower = [] { throw RuntimeError::standard(RuntimeError::SubscriptOutOfRange, QStringLiteral("KVLJog")); };
    tickOnce();
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Error 9 Subscript out of range KVLJog"));
    EXPECT_TRUE(comm->IsOpen());
    EXPECT_EQ(events.count(), 0);

    thrower = [] { throw std::runtime_error("bad state"); };
    tickOnce();
    ASSERT_EQ(boxes.count(), 2);
    EXPECT_TRUE(boxes.last().prompt.contains(QStringLiteral("bad state")));
    EXPECT_TRUE(comm->IsOpen());

    // A link failure: reported as one.
    thrower = [] { throw RuntimeError::standard(RuntimeError::PortNotOpen, QStringLiteral("KVLPosition")); };
    tickOnce();
    EXPECT_EQ(events.count(), 1);
    EXPECT_EQ(events.numbers.first(), RuntimeError::PortNotOpen);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    EXPECT_FALSE(comm->IsOpen());
}

TEST_F(InProcessLink, AnotherProgramsBoxNeverHoldsUpTheLink)
{
    Child child("box");
    ASSERT_EQ(child.firstLine(20000), QByteArray("box"));
    open(BUS_TYPE_USB);
    QElapsedTimer t;
    t.start();
    QString reply;
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), 0);
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1MO\r")), 0);
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_EQ(sim().rawLines(), (QList<QByteArray>{"1TP?\r", "1MO\r"}));
}

// Another program keeps the lock for 25 s: one member waits out the limit and says so once; the
// members after it fail at once instead of freezing the program 10 s each, until the lock is free.
TEST_F(InProcessLink, ALockHeldElsewhereTooLongEndsTheMemberWithOneReport)
{
    open(BUS_TYPE_USB);
    ProgramClock clock;
    auto child = std::make_unique<Child>("holder");
    ASSERT_EQ(child->firstLine(20000), QByteArray("held"));

    const qint64 start = platform::Clock::tickMs();
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1MO\r")), -1);
    EXPECT_GE(platform::Clock::tickMs() - start, KVLComm::LockLimitMs);
    EXPECT_LT(platform::Clock::tickMs() - start, KVLComm::LockLimitMs + 500);
    QString reply = QStringLiteral("untouched");
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), -1);
    EXPECT_EQ(comm->SendAsciiNoTerm(QStringLiteral("1MO\r")).toInt(), -1);
    EXPECT_EQ(comm->SendAsciiGPIBLength(QByteArray("S0\r"), 3), -1);
    EXPECT_EQ(comm->GPIBSerialPoll(), 0);
    EXPECT_EQ(reply, QStringLiteral("untouched"));
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().title, QStringLiteral("Controller Link Busy"));

    // The rest of the 25 s: every member fails at once, with no further box.
    QElapsedTimer real;
    real.start();
    int calls = 0;
    while (platform::Clock::tickMs() - start < 25000) {
        const qint64 before = platform::Clock::tickMs();
        QString reply = QStringLiteral("untouched");
        EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), -1);
        EXPECT_EQ(reply, QStringLiteral("untouched"));
        EXPECT_EQ(comm->SendAsciiNoTerm(QStringLiteral("1MO\r")).toInt(), -1);
        EXPECT_EQ(comm->ReadAscii(reply), -1);
        EXPECT_EQ(platform::Clock::tickMs(), before) << "no wait while the lock is known to be busy";
        platform::Clock::advance(250);
        ++calls;
    }
    EXPECT_GT(calls, 50);
    EXPECT_LT(real.elapsed(), 1000);
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_TRUE(sim().lines().isEmpty());
    EXPECT_TRUE(comm->IsOpen()) << "the link is not broken, only busy";

    // Once the other program lets go, exchanges go on; a later busy spell waits and says so again.
    child.reset();
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1MO\r")), 0);
    EXPECT_EQ(sim().rawLines(), QList<QByteArray>{"1MO\r"});
    child = std::make_unique<Child>("holder");
    ASSERT_EQ(child->firstLine(20000), QByteArray("held"));
    const qint64 again = platform::Clock::tickMs();
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1MO\r")), -1);
    EXPECT_GE(platform::Clock::tickMs() - again, KVLComm::LockLimitMs);
    EXPECT_EQ(boxes.count(), 2);
}

// The simulator, noting for each use of the bus whether this thread held the lock.
struct LockCheckingDevice : SimDevice {
    int receive(const QByteArray& bytes) override
    {
        held << probe.isHeldByCurrentThread();
        return SimDevice::receive(bytes);
    }
    int serialPoll() override
    {
        held << probe.isHeldByCurrentThread();
        return SimDevice::serialPoll();
    }
    platform::MachineLock probe{QString::fromLatin1(KVLComm::LockName)};
    QList<bool> held;
};

TEST(GpibLockTest, GpibMembersRunInsideTheLockAndNoEventsRunThere)
{
    MsgBoxRecorder boxes;
    LockCheckingDevice device;
    device.installOnGpib(4);
    KVLComm comm;
    comm.setBusType(BUS_TYPE_GPIB);
    comm.setDeviceID(4);
    ASSERT_EQ(comm.KVLInit(), 0);
    ASSERT_EQ(comm.KVLOpen(), 0);
    device.held.clear();

    EXPECT_EQ(comm.SendAsciiGPIBLength(QByteArray("S0\r", 3), 3), 0);
    comm.GPIBSerialPoll();
    EXPECT_EQ(device.held, (QList<bool>{true, true}));

    // A handler waiting for its turn does not run inside the exchange.
    bool ran = false;
    QTimer::singleShot(0, &comm, [&] { ran = true; });
    QString reply;
    EXPECT_EQ(comm.SendReadAscii(QStringLiteral("1TP?\r"), reply), 0);
    EXPECT_FALSE(ran);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
    EXPECT_EQ(boxes.count(), 0);
}

} // namespace
