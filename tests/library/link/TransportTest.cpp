#include "tests/library/link/LinkFixtures.h"

#include "library/link/Rs232Transport.h"

#include <QThread>
#include <QTimer>

using platform::RuntimeError;

namespace {

TEST_F(InProcessLink, UsbExchangesAndDriverCodes)
{
    open(BUS_TYPE_USB, 1);
    // Identification went out on the first init.
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1PA2.5\r")), 0);
    QString reply;
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), 0);
    EXPECT_EQ(sim().rawLines(), (QList<QByteArray>{"1PA2.5\r", "1TP?\r"}));
    EXPECT_TRUE(reply.startsWith(QStringLiteral("2.5"))) << qPrintable(reply);

    // The driver's own code passes through a send; a send-and-read folds it into 0 or -1.
    sim().failNext(-2);
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1ST\r")), -2);
    sim().failNext(3);
    EXPECT_EQ(comm->SendAsciiNoTerm(QStringLiteral("1ST\r")).toInt(), 3);
    sim().failNext(-2);
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), -1);
    EXPECT_EQ(reply, QString());

    // After a driver failure the next query is first put back in step, which a silent
    // controller does not answer: the query is not sent. Then no reply: -1 and an empty text.
    sim().setSilent(true);
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), KVLComm::QueryNotSent);
    EXPECT_EQ(reply, QString());
    sim().setSilent(false);
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), 0);
    sim().setSilent(true);
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), -1);
    EXPECT_EQ(reply, QString());
    EXPECT_EQ(comm->ReadAscii(reply), -1);
    EXPECT_EQ(reply, QString());
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_TRUE(comm->IsOpen());
}

TEST_F(InProcessLink, UsbInitFailureFallsBackToDemoAndOpenSaysSo)
{
    auto c = std::make_unique<KVLComm>();
    c->setBusType(BUS_TYPE_USB);
    EXPECT_EQ(c->KVLInit(), 0); // no device: demo mode, no message
    EXPECT_TRUE(c->IsOpen());
    EXPECT_EQ(c->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(boxes.count(), 0);

    c->setBusType(BUS_TYPE_USB);
    EXPECT_NE(c->KVLOpen(), 0);
    EXPECT_FALSE(c->IsOpen());
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Unable to Open the Specified USB Device"));
    EXPECT_EQ(boxes.last().style, 16);
    EXPECT_EQ(boxes.last().title, QStringLiteral("USB Device Open Error"));
}

TEST_F(InProcessLink, IdentificationIsRequiredExceptOnPci)
{
    device = std::make_unique<SimDevice>();
    device->installOnUsb(0);
    sim().setSilent(true);
    comm = std::make_unique<KVLComm>();
    comm->setBusType(BUS_TYPE_USB);
    EXPECT_EQ(comm->KVLInit(), -1);
    EXPECT_TRUE(comm->IsOpen());
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(sim().rawLines(), (QList<QByteArray>{"VE?\r\n"}));
}

TEST_F(InProcessLink, PciCodesAndBoardChoice)
{
    open(BUS_TYPE_PCI, 2);
    // The board is chosen on every system, not only on those that count boards.
    EXPECT_EQ(platform::drivers::targetPciBoard(), 2);

    // A driver failure is no reply, whatever its code.
    QString reply;
    sim().failNext(3);
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), -1);
    EXPECT_EQ(reply, QString());
    sim().failNext(3);
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1ST\r")), 3);
    sim().failNext(3);
    const QVariant noTerm = comm->SendAsciiNoTerm(QStringLiteral("1ST\r"));
    EXPECT_EQ(noTerm.typeId(), QMetaType::Short);
    EXPECT_EQ(noTerm.toInt(), 3);

    // A reply is cut at the driver's terminator and trimmed of blanks only.
    sim().setReply("1XX?", "  12.5\r\n");
    EXPECT_EQ(ask(QStringLiteral("1XX?\r"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("12.5\r\n"));
    EXPECT_FALSE(reply.contains(QChar(0)));
}

TEST_F(InProcessLink, PciBoardCheckOnOlderSystems)
{
    platform::setVersionForTests({2, 4, 0});
    device = std::make_unique<SimDevice>();
    device->installOnPci(0);
    comm = std::make_unique<KVLComm>();
    comm->setBusType(BUS_TYPE_PCI);
    comm->setDeviceID(1);
    EXPECT_EQ(comm->KVLInit(), 0);
    EXPECT_TRUE(comm->IsOpen());
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Device ID is unavailable.\r\nPlease choose another DeviceID.\r\n"
                                                  "System will be started in Demo mode"));
    EXPECT_EQ(boxes.last().style, 48);
    EXPECT_EQ(boxes.last().title, QStringLiteral("PCI Device Error"));
    EXPECT_TRUE(sim().lines().isEmpty());

    // KVLOpen shows the same box and opens in demo mode.
    comm->setBusType(BUS_TYPE_PCI);
    EXPECT_EQ(comm->KVLOpen(), 0);
    EXPECT_TRUE(comm->IsOpen());
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(boxes.count(), 2);
}

TEST_F(InProcessLink, GpibRepliesAndTrim)
{
    open(BUS_TYPE_GPIB, 5);
    QString reply;
    sim().setReply("1XX?", "12.5\n");
    EXPECT_EQ(ask(QStringLiteral("1XX?\r"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("12.5\n")); // up to the line feed, blanks behind it dropped
    comm->SendAscii(QStringLiteral("1XX?\r"));
    EXPECT_EQ(comm->ReadAscii(reply), 0);
    EXPECT_EQ(reply, QStringLiteral("12.5\n"));
    EXPECT_EQ(comm->ReadAscii(reply), -1); // nothing more came

    // The serial poll byte, and a timeout change only on GPIB.
    EXPECT_GE(comm->GPIBSerialPoll(), 0);
    EXPECT_FALSE(comm->SetGPIBTimeout(12).isValid());

    // Firmware lines are binary: exactly the given bytes, never more than the command holds.
    sim().clearLog();
    const QByteArray binary("AB\0CD\r", 6);
    EXPECT_EQ(comm->SendAsciiGPIBLength(binary, 6), 0);
    EXPECT_EQ(comm->SendAsciiGPIBLength(QByteArray("EF\r"), 200), 0);
    EXPECT_EQ(sim().receivedBytes(), binary + QByteArray("EF\r"));
}

TEST_F(InProcessLink, GpibOpenErrors)
{
    // No instrument at the address: init falls back to demo quietly, open says so.
    SimDevice other;
    other.installOnGpib(3);
    KVLComm c;
    c.setBusType(BUS_TYPE_GPIB);
    c.setDeviceID(9);
    EXPECT_EQ(c.KVLInit(), 0);
    EXPECT_EQ(c.BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(boxes.count(), 0);
    c.setBusType(BUS_TYPE_GPIB);
    EXPECT_EQ(c.KVLOpen(), -1);
    EXPECT_FALSE(c.IsOpen());
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Unable to Open the Specified GPIB Device"));
    EXPECT_EQ(boxes.last().style, 16);
    EXPECT_EQ(boxes.last().title, QStringLiteral("GPIB Device Open Error"));
}

// On every bus a query's reply fits the reply buffer: one longer is none, and its rest never
// answers the next query.
TEST_F(InProcessLink, AReplyLongerThanTheBufferIsNoReplyOnEveryBus)
{
    for (const BUS_TYPE bus : {BUS_TYPE_USB, BUS_TYPE_PCI, BUS_TYPE_GPIB}) {
        open(bus);
        QString reply;
        sim().setReply("1XX?", QByteArray(300, '9') + "\r\n");
        EXPECT_EQ(ask(QStringLiteral("1XX?\r"), reply), -1) << bus;
        EXPECT_EQ(reply, QString()) << bus;
        EXPECT_EQ(ask(QStringLiteral("1QM?\r"), reply), 0) << bus;
        EXPECT_EQ(reply, QStringLiteral("1\r\n")) << bus;

        // One that fits is read as before, line end or not.
        sim().setReply("1XX?", QByteArray(200, '9'));
        EXPECT_EQ(ask(QStringLiteral("1XX?\r"), reply), 0) << bus;
        EXPECT_EQ(reply, QString(200, QLatin1Char('9'))) << bus;

        // One that fills the buffer exactly and ends its line leaves nothing behind: the next
        // query goes out at once, with no identification asked first.
        sim().setReply("1XX?", QByteArray(253, '9') + "\r\n");
        sim().clearLog();
        EXPECT_EQ(ask(QStringLiteral("1XX?\r"), reply), 0) << bus;
        EXPECT_EQ(reply.size(), 255) << bus;
        EXPECT_EQ(ask(QStringLiteral("1QM?\r"), reply), 0) << bus;
        EXPECT_EQ(sim().lines(), (QList<QByteArray>{"1XX?", "1QM?"})) << bus;
        EXPECT_EQ(boxes.count(), 0);
        comm.reset();
        device.reset();
    }
}

// A reply that fills the reply buffer may leave more of its message on the bus; whatever follows it
// is dropped before the next query, so each later query gets its own reply, whether the full reply
// came to a query or to a separate read. Replayed from fuzzing: 260 characters with the line end
// beyond the buffer, inside it with more behind, and split by the buffer's end, and a second line
// holding a NUL; then the configuration words asked in turn, as a set-up window reads them
// before writing them back.
TEST_F(InProcessLink, WhateverFollowsAFullReplyIsDroppedBeforeTheNextQuery)
{
    const QList<QByteArray> longReplies = {
        QByteArray(258, '7') + "\r\n",
        QByteArray("12\r\n") + QByteArray(254, '7') + "\r\n",
        QByteArray("12\r\n999") + '\0' + QByteArray(40, '9') + "\r\n",
        QByteArray(254, '7') + "\r\n" + QByteArray(2, '7') + "\r\n",
    };
    const auto answer = [](const QString& reply) { return LinkTransport::trimBlanks(reply).left(2); };
    for (const BUS_TYPE bus : {BUS_TYPE_USB, BUS_TYPE_PCI, BUS_TYPE_GPIB}) {
        for (const QByteArray& longReply : longReplies) {
            const auto trace = ::testing::Message() << "bus " << bus << ", reply " << longReply.left(6).toStdString();
            SCOPED_TRACE(trace);
            open(bus);
            sim().setReply("1ZH?", longReply);
            sim().setReply("1ZS?", "0F\r\n");
            sim().setReply("1ZA?", "03\r\n");
            sim().setReply("1ZB?", "05\r\n");
            QString reply;
            ask(QStringLiteral("1ZH?\r"), reply);
            EXPECT_EQ(ask(QStringLiteral("1ZS?\r"), reply), 0);
            EXPECT_EQ(answer(reply), QStringLiteral("0F"));
            EXPECT_EQ(ask(QStringLiteral("1ZA?\r"), reply), 0);
            EXPECT_EQ(answer(reply), QStringLiteral("03"));

            // The same after a separate read took the full reply; until a query comes, separate
            // reads still hand on what follows.
            EXPECT_EQ(comm->SendAscii(QStringLiteral("1ZH?\r")), 0);
            EXPECT_EQ(comm->ReadAscii(reply), 0);
            EXPECT_TRUE(reply.startsWith(QString::fromLatin1(longReply.left(2)))) << reply.toStdString();
            EXPECT_EQ(ask(QStringLiteral("1ZB?\r"), reply), 0);
            EXPECT_EQ(answer(reply), QStringLiteral("05"));
            EXPECT_EQ(ask(QStringLiteral("1ZS?\r"), reply), 0);
            EXPECT_EQ(answer(reply), QStringLiteral("0F"));
            comm.reset();
            device.reset();
        }
    }
}

// A device whose reply is not ready at the read that follows its query: the next read takes it.
class LateDevice : public SimDevice {
public:
    int reply(QByteArray& bytes, int capacity) override
    {
        if (lateReads > 0) {
            --lateReads;
            bytes.clear();
            return 0;
        }
        return SimDevice::reply(bytes, capacity);
    }
    int lateReads = 0;
};

// On the in-process buses too, a reply that comes to a later read answers no later query: the
// next query first asks for the identification and drops what came before it.
TEST(InProcessLateReply, ALateReplyIsDroppedBeforeTheNextQueryOnEveryBus)
{
    MsgBoxRecorder boxes;
    for (const BUS_TYPE bus : {BUS_TYPE_USB, BUS_TYPE_PCI, BUS_TYPE_GPIB}) {
        SCOPED_TRACE(bus);
        LateDevice device;
        if (bus == BUS_TYPE_USB)
            device.installOnUsb(0);
        else if (bus == BUS_TYPE_PCI)
            device.installOnPci(0);
        else
            device.installOnGpib(0);
        KVLComm comm;
        comm.setBusType(bus);
        ASSERT_EQ(comm.KVLInit(), 0);
        device.controller().setPosition(1, 1.5);
        device.controller().setPosition(2, -2.5);
        device.controller().clearLog();
        QString reply;
        device.lateReads = 1;
        EXPECT_EQ(askInNewGo(comm, QStringLiteral("1TP\r"), reply), -1);
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(askInNewGo(comm, QStringLiteral("2TP\r"), reply), 0);
            EXPECT_EQ(LinkTransport::trimBlanks(reply).left(7), QStringLiteral("-2.5000"));
        }
        EXPECT_EQ(device.controller().lines(), (QList<QByteArray>{"1TP", "VE?", "2TP", "2TP"}));
        EXPECT_EQ(comm.BusType(), bus);
        EXPECT_EQ(boxes.count(), 0);
    }
}

// The identification that puts the line back in step names the model: a new firmware version
// still does, another model does not.
TEST_F(InProcessLink, ANewFirmwareVersionStillPutsTheLineBackInStep)
{
    open(BUS_TYPE_USB);
    sim().setModel("KVL410 Version 2.1");
    sim().setReply("1TP?", "");
    QString reply;
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), -1);
    EXPECT_EQ(ask(QStringLiteral("1QM?\r"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("1\r\n"));
    EXPECT_EQ(sim().lines(), (QList<QByteArray>{"1TP?", "VE?", "1QM?"}));

    sim().setModel("KVL200 Version 1.0");
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), -1);
    EXPECT_EQ(ask(QStringLiteral("1QM?\r"), reply), KVLComm::QueryNotSent);
    EXPECT_EQ(boxes.count(), 0);
}

TEST_F(InProcessLink, FailedGpibRegistrationLeavesTheErrorBit)
{
    SimDevice dev;
    dev.installOnGpib(1);
    VBIB32::resetRegistration();
    platform::gpib::forceRegistrationResult(7);
    VBIB32::ibdev(0, 1, 0, 12, 1, 0);
    EXPECT_TRUE(VBIB32::ibsta & VBIB32::ERR);
    EXPECT_EQ(VBIB32::ibcntl, qint32(0xDEAD37F0u));
    platform::gpib::forceRegistrationResult(-1);
    VBIB32::ibdev(0, 1, 0, 12, 1, 0);
    EXPECT_FALSE(VBIB32::ibsta & VBIB32::ERR);
}

// ---------------------------------------------------------------------------------------------
// RS-232 on a pseudo-terminal.

TEST_F(SerialLink, TerminatorsOnTheWire)
{
    openLink();
    EXPECT_EQ(rawLines(), (QList<QByteArray>{"VE?\r\n"}));
    clearLog();
    QString reply;
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1MO")), 0);
    EXPECT_EQ(comm->SendAscii(QStringLiteral("2MO\r")), 0);
    EXPECT_EQ(comm->SendAscii(QStringLiteral("3MO\n")), 0);
    EXPECT_EQ(comm->SendAscii(QStringLiteral("4MO\r  ")), 0);
    EXPECT_EQ(comm->SendAsciiNoTerm(QStringLiteral("5MO\r")).toInt(), 0);
    EXPECT_EQ(ask(QStringLiteral("1QM?"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("1\r\n"));
    const QList<QByteArray> lines = rawLines();
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.at(0), QByteArray("1MO\r"));
    EXPECT_EQ(lines.at(1), QByteArray("2MO\r"));
    EXPECT_EQ(lines.at(2), QByteArray("3MO\n"));
    // "4MO\r  " went out unchanged: its blanks lead the next line on the wire.
    EXPECT_EQ(lines.at(3), QByteArray("4MO\r"));
    EXPECT_EQ(lines.at(4), QByteArray("  5MO\r"));
    EXPECT_EQ(lines.at(5), QByteArray("1QM?\r"));
}

TEST_F(SerialLink, ReplyWithoutLineFeedAndSilence)
{
    openLink();
    QString reply;
    // A reply that never ends its line is no reply for a query; a separate read hands it over.
    pty.with([](SimController& s) { s.setNoLineFeed(true); });
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(comm->SendAscii(QStringLiteral("2QM?")), 0);
    EXPECT_EQ(comm->ReadAscii(reply), 0);
    EXPECT_EQ(reply, QStringLiteral("1\r"));
    EXPECT_GE(t.elapsed(), 900);
    // The rest of that line may still come: the next query first asks for the identification,
    // which does not end its line either, so the query itself is not sent.
    t.restart();
    reply = QStringLiteral("untouched");
    EXPECT_EQ(ask(QStringLiteral("1QM?"), reply), KVLComm::QueryNotSent);
    EXPECT_EQ(reply, QStringLiteral("untouched"));
    EXPECT_GE(t.elapsed(), 900);
    pty.with([](SimController& s) { s.setNoLineFeed(false); });
    EXPECT_EQ(ask(QStringLiteral("1QM?"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("1\r\n"));
    pty.with([](SimController& s) { s.setNoLineFeed(true); });
    t.restart();
    EXPECT_EQ(ask(QStringLiteral("1QM?"), reply), -1);
    EXPECT_EQ(reply, QString());
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_LT(t.elapsed(), 3 * 1000);

    pty.with([](SimController& s) { s.setSilent(true); });
    t.restart();
    const std::clock_t cpu = std::clock();
    EXPECT_EQ(ask(QStringLiteral("1QM?"), reply), KVLComm::QueryNotSent);
    EXPECT_LT(t.elapsed(), 3 * 1000);
    // The wait sleeps on the port: a silent second costs next to no processor time.
    EXPECT_LT(double(std::clock() - cpu) / CLOCKS_PER_SEC, 0.1);
}

TEST_F(SerialLink, ReceiveEventRoutingAndClosedPort)
{
    openLink();
    QStringList events;
    QObject::connect(comm.get(), &KVLComm::CommEvent, [&](QString& data) { events << data; });

    // Routed to CommEvent while enabled: a read then finds nothing.
    comm->setCommEventEnabled(true);
    comm->SendAscii(QStringLiteral("1QM?"));
    for (int i = 0; i < 50 && events.join(QString()).count(QLatin1Char('\n')) < 1; ++i)
        platform::Clock::pumpFor(20);
    EXPECT_EQ(events.join(QString()), QStringLiteral("1\r\n"));

    // Collected into the reply buffer while disabled; a closed port still hands it over.
    comm->setCommEventEnabled(false);
    comm->SendAscii(QStringLiteral("2QM?"));
    for (int i = 0; i < 10; ++i)
        platform::Clock::pumpFor(20);
    comm->RS232CommControl()->setPortOpen(false);
    QString reply;
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1MO")), -1);
    EXPECT_EQ(comm->ReadAscii(reply), 0);
    EXPECT_EQ(reply, QStringLiteral("1\r\n"));
    EXPECT_EQ(events.size(), 1);
}

TEST_F(SerialLink, PortErrorsStartDemoMode)
{
    qputenv("KVL_COM7", "/dev/no-such-port");
    EXPECT_EQ(comm->KVLInit(), 0);
    EXPECT_TRUE(comm->IsOpen());
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("An Invalid communications port has been selected\r\n"
                                                  "Please choose another port.\r\nThe system will start in Demo Mode."));
    EXPECT_EQ(boxes.last().style, 48);
    EXPECT_EQ(boxes.last().title, QStringLiteral("Com Port Error!"));

    // A port held by someone else.
    qputenv("KVL_COM7", pty.slavePath().toLocal8Bit());
    platform::SerialControl holder;
    holder.setCommPort(7);
    holder.setPortOpen(true);
    comm->setBusType(BUS_TYPE_RS232);
    EXPECT_EQ(comm->KVLOpen(), 0);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    ASSERT_EQ(boxes.count(), 2);
    EXPECT_TRUE(boxes.last().prompt.startsWith(QStringLiteral("This communications port is already in use.\r\n")));
}

TEST_F(SerialLink, RejectedIdentificationLetsThePortGo)
{
    pty.with([](SimController& s) { s.setSilent(true); });
    EXPECT_EQ(comm->KVLInit(), -1);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    EXPECT_TRUE(comm->IsOpen());
    EXPECT_FALSE(comm->RS232CommControl()->PortOpen());
    // The port is free for anyone else now.
    platform::SerialControl other;
    other.setCommPort(7);
    EXPECT_NO_THROW(other.setPortOpen(true));
}

TEST_F(SerialLink, CloseDiscardsInputAndVanishingDeviceIsReportedOnce)
{
    openLink();
    EXPECT_EQ(comm->KVLClose(), 0);
    EXPECT_FALSE(comm->IsOpen());
    EXPECT_FALSE(comm->RS232CommControl()->PortOpen());
    EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
    EXPECT_EQ(comm->KVLOpen(), 0);

    ErrorEvents events(comm.get());
    pty.close();
    for (int i = 0; i < 5; ++i)
        platform::Clock::pumpFor(20);
    QString reply;
    for (int i = 0; i < 3; ++i) {
        const int status = ask(QStringLiteral("1QM?"), reply);
        EXPECT_EQ(status, -1);
    }
    EXPECT_LE(events.count(), 1);
    EXPECT_LE(boxes.count(), 1);
}

// A reply the controller sends too late for its read: the read gives up, and the late reply is
// never handed to a later query, whether it arrives between queries or while the next one waits:
// the next query first asks for the identification and drops every line before it.
TEST_F(SerialLink, ALateReplyIsDroppedAndEveryQueryGetsItsOwn)
{
    ProgramClock clock;
    openLink();
    pty.with([](SimController& s) {
        for (int axis = 1; axis <= 6; ++axis)
            s.setValue(axis, "VA", QByteArray::number(axis * 11));
        s.holdReplies();
    });
    QString reply;
    EXPECT_EQ(ask(QStringLiteral("1VA?"), reply), -1);

    // Late while the next query's resynchronisation waits for it.
    pty.with([](SimController& s) { QTimer::singleShot(50, &s, [&s] { s.releaseReplies(); }); });
    EXPECT_EQ(ask(QStringLiteral("2VA?"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("22\r\n"));
    EXPECT_EQ(ask(QStringLiteral("3VA?"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("33\r\n"));

    // Late between two queries: it waits on the port when the next one is sent.
    pty.with([](SimController& s) { s.holdReplies(); });
    EXPECT_EQ(ask(QStringLiteral("4VA?"), reply), -1);
    pty.with([](SimController& s) { s.releaseReplies(); });
    QThread::msleep(30);
    platform::Clock::pumpOnce();
    EXPECT_EQ(ask(QStringLiteral("5VA?"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("55\r\n"));

    // A send and a separate read (a terminal's) get what came after the send, not what waited.
    pty.with([](SimController& s) { s.holdReplies(); });
    EXPECT_EQ(ask(QStringLiteral("1VA?"), reply), -1);
    pty.with([](SimController& s) { s.releaseReplies(); });
    QThread::msleep(30);
    EXPECT_EQ(comm->SendAscii(QStringLiteral("6VA?")), 0);
    EXPECT_EQ(comm->ReadAscii(reply), 0);
    EXPECT_EQ(reply, QStringLiteral("66\r\n"));
    // The line is still out of step after the separate read: the next query puts it in step.
    EXPECT_EQ(ask(QStringLiteral("5VA?"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("55\r\n"));

    // A reply that never comes: the next query goes out as soon as the identification is back,
    // and gets its own.
    pty.with([](SimController& s) {
        s.clearLog();
        s.setSilent(true);
    });
    EXPECT_EQ(ask(QStringLiteral("1VA?"), reply), -1);
    // The controller has taken the query while silent, however busy the machine.
    QElapsedTimer taken;
    taken.start();
    while (!rawLines().contains("1VA?\r") && taken.elapsed() < 3000)
        QThread::msleep(5);
    pty.with([](SimController& s) {
        s.setSilent(false);
        s.clearLog();
    });
    for (int axis : {2, 3}) {
        EXPECT_EQ(ask(QStringLiteral("%1VA?").arg(axis), reply), 0);
        EXPECT_EQ(reply, QStringLiteral("%1\r\n").arg(axis * 11));
    }
    EXPECT_EQ(rawLines(), (QList<QByteArray>{"VE?\r\n", "2VA?\r", "3VA?\r"}));
    EXPECT_EQ(boxes.count(), 0);
}

// Replies that come while the link is closed are not read as the answers of the next session.
TEST_F(SerialLink, AReconnectAfterASilentSpellStartsInStep)
{
    ProgramClock clock;
    openLink();
    pty.with([](SimController& s) { s.holdReplies(); });
    QString reply;
    EXPECT_EQ(ask(QStringLiteral("1QM?"), reply), -1);
    EXPECT_EQ(ask(QStringLiteral("2QM?"), reply), KVLComm::QueryNotSent);
    EXPECT_EQ(comm->KVLClose(), 0);
    pty.with([](SimController& s) { s.releaseReplies(); });
    QThread::msleep(30);

    comm->setBusType(BUS_TYPE_RS232);
    openLink();
    EXPECT_EQ(ask(QStringLiteral("VE?"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("KVL410 Version 2.0\r\n"));
    // The stage report: axes 1 to 4 carry a motor, none above.
    QStringList stages;
    for (int axis = 1; axis <= 6; ++axis) {
        EXPECT_EQ(ask(QStringLiteral("%1QM?").arg(axis), reply), 0);
        stages << reply.trimmed();
    }
    EXPECT_EQ(stages, (QStringList{"1", "1", "1", "1", "0", "0"}));
}

// A controller that stops answering is found within seconds: one break report, demo mode.
TEST_F(SerialLink, ASilentControllerBreaksTheLinkOnceWithinSeconds)
{
    ProgramClock clock;
    openLink();
    comm->setTimerEnabled(true);
    ErrorEvents events(comm.get());
    pty.with([](SimController& s) { s.setSilent(true); });
    QElapsedTimer real;
    real.start();

    // Commands without a reply and separate reads (terminal, firmware download) never count.
    QString reply;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(comm->SendAscii(QStringLiteral("1MO")), 0);
        EXPECT_EQ(comm->ReadAscii(reply), -1);
    }
    EXPECT_EQ(boxes.count(), 0);
    EXPECT_TRUE(comm->IsOpen());

    // The separate reads left the line out of step: each query asks for the identification
    // first, gets nothing, and is not sent. A spell of silence breaks the link within five
    // seconds.
    pty.with([](SimController& s) { s.clearLog(); });
    const qint64 start = platform::Clock::tickMs();
    const QList<int> statuses = askUntilBroken(*comm, QStringLiteral("1TP?"));
    const qint64 took = platform::Clock::tickMs() - start;
    ASSERT_FALSE(statuses.isEmpty());
    EXPECT_EQ(statuses.mid(0, statuses.size() - 1), QList<int>(statuses.size() - 1, KVLComm::QueryNotSent));
    EXPECT_EQ(statuses.back(), -1);
    EXPECT_GE(took, SilenceWatch::SilentSpellMs);
    EXPECT_LE(took, 5000);
    EXPECT_EQ(rawLines(), QList<QByteArray>(statuses.size(), "VE?\r\n"));
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Error 1001 Application-defined or object-defined error KVLComm"));
    ASSERT_EQ(events.count(), 1);
    EXPECT_EQ(events.numbers.first(), 1001);
    EXPECT_FALSE(comm->IsOpen());
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    EXPECT_FALSE(comm->TimerEnabled());
    EXPECT_FALSE(comm->RS232CommControl()->PortOpen());

    // Later pollers meet a closed link: no second report.
    EXPECT_EQ(ask(QStringLiteral("1TP?"), reply), -1);
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(events.count(), 1);
    EXPECT_LT(real.elapsed(), 5000) << "silence is measured on the program clock";
}

// The in-process buses break the same way: silence breaks the link within five seconds, and an
// answered query in between starts the spell again. A controller that still names itself but
// answers no query is given up after UnansweredQueryLimit queries; its identifications do not
// start that count again.
TEST_F(InProcessLink, SilenceOnUsbBreaksTheLinkOnceWithinSeconds)
{
    ProgramClock clock;
    open(BUS_TYPE_USB);
    ErrorEvents events(comm.get());
    QString reply;
    sim().setSilent(true);
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), -1);
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), KVLComm::QueryNotSent);
    sim().setSilent(false);
    EXPECT_EQ(ask(QStringLiteral("1TP?\r"), reply), 0);
    sim().setSilent(true);
    const qint64 start = platform::Clock::tickMs();
    EXPECT_TRUE(isSilentSpell(askUntilBroken(*comm)));
    EXPECT_LE(platform::Clock::tickMs() - start, 5000);
    EXPECT_EQ(boxes.count(), 1);
    EXPECT_EQ(events.count(), 1);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);

    // Names itself, answers no query.
    open(BUS_TYPE_USB);
    ErrorEvents named(comm.get());
    boxes.clear();
    sim().setReply("1TP?", QByteArray());
    const QList<int> statuses = askUntilBroken(*comm);
    EXPECT_EQ(statuses, QList<int>(KVLComm::UnansweredQueryLimit, -1));
    EXPECT_EQ(named.count(), 1);
}

} // namespace
