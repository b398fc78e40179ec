#include "library/link/KVLComm.h"

#include "library/link/VBIB32.h"
#include "platform/com/ClassRegistry.h"
#include "platform/drivers/PciDriver.h"
#include "platform/gpib/GpibLibrary.h"
#include "platform/kernel/Clock.h"
#include "platform/kernel/OsVersion.h"
#include "platform/ui/MsgBox.h"
#include "platform/serial/SerialControl.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "tests/support/MsgBoxRecorder.h"
#include "tests/support/PseudoTerminal.h"
#include "sim/SimPtyThread.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

using platform::RuntimeError;

namespace {

const QString kBlanks255(255, QLatin1Char(' '));

// Counts CommErrorEvent (its by-reference argument is beyond QSignalSpy).
struct ErrorEvents {
    explicit ErrorEvents(KVLComm* comm)
    {
        QObject::connect(comm, &KVLComm::CommErrorEvent, [this](short& n) { numbers << n; });
    }
    int count() const { return numbers.size(); }
    QList<short> numbers;
};

// A control on the simulated controller behind one of the in-process buses.
class InProcessLink : public ::testing::Test {
protected:
    void TearDown() override
    {
        comm.reset();
        device.reset();
        platform::resetVersionForTests();
    }

    // Puts the simulator on the bus and opens the link the way hosts do.
    void open(BUS_TYPE bus, int deviceId = 0)
    {
        device = std::make_unique<SimDevice>();
        if (bus == BUS_TYPE_USB)
            device->installOnUsb(deviceId);
        else if (bus == BUS_TYPE_PCI)
            device->installOnPci(deviceId);
        else if (bus == BUS_TYPE_GPIB)
            device->installOnGpib(deviceId);
        comm = std::make_unique<KVLComm>();
        comm->setBusType(bus);
        comm->setDeviceID(deviceId);
        ASSERT_EQ(comm->KVLInit(), 0);
        ASSERT_EQ(comm->KVLOpen(), 0);
        ASSERT_TRUE(comm->IsOpen());
        ASSERT_EQ(comm->BusType(), bus);
        sim().clearLog();
    }

    SimController& sim() { return device->controller(); }

    MsgBoxRecorder boxes;
    std::unique_ptr<SimDevice> device;
    std::unique_ptr<KVLComm> comm;
};

TEST_F(InProcessLink, DemoAndClosedStates)
{
    KVLComm c;
    QString reply = QStringLiteral("untouched");
    // Closed: every exchange answers -1 and leaves the reply alone.
    EXPECT_EQ(c.SendAscii(QStringLiteral("1MO")), -1);
    EXPECT_EQ(c.SendReadAscii(QStringLiteral("1TP?"), reply), -1);
    EXPECT_EQ(c.ReadAscii(reply), -1);
    EXPECT_EQ(c.SendAsciiNoTerm(QStringLiteral("1MO")).toInt(), -1);
    EXPECT_EQ(reply, QStringLiteral("untouched"));
    EXPECT_EQ(c.GPIBSerialPoll(), 0);

    // Demo mode: sends succeed without sending, a plain read has nothing to give.
    EXPECT_EQ(c.KVLInit(), 0);
    EXPECT_TRUE(c.IsOpen());
    EXPECT_EQ(c.SendAscii(QStringLiteral("1MO")), 0);
    EXPECT_EQ(c.SendAsciiNoTerm(QStringLiteral("1MO")).toInt(), 0);
    EXPECT_EQ(c.SendReadAscii(QStringLiteral("1TP?"), reply), 0);
    EXPECT_EQ(reply, QString());
    EXPECT_EQ(c.ReadAscii(reply), -1);
    EXPECT_EQ(reply, kBlanks255);

    // A bus value outside the enumeration is stored and refused by every exchange.
    c.setBusType(7);
    EXPECT_EQ(int(c.BusType()), 7);
    EXPECT_EQ(c.SendAscii(QStringLiteral("1MO")), -1);
    EXPECT_EQ(c.SendAsciiNoTerm(QStringLiteral("1MO")).toInt(), -1);
    EXPECT_EQ(c.SendReadAscii(QStringLiteral("1TP?"), reply), -1);
    EXPECT_EQ(reply, kBlanks255);
    EXPECT_EQ(c.ReadAscii(reply), -1);

    // Opening and closing with no bus.
    c.setBusType(BUS_TYPE_NONE);
    EXPECT_EQ(c.KVLOpen(), -1);
    EXPECT_FALSE(c.IsOpen());
    EXPECT_EQ(c.KVLInit(), 0);
    EXPECT_EQ(c.KVLClose(), -1);
    EXPECT_FALSE(c.IsOpen());
    EXPECT_EQ(boxes.count(), 0);
}

TEST_F(InProcessLink, UsbExchangesAndDriverCodes)
{
    open(BUS_TYPE_USB, 1);
    // Identification went out on the first init.
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1PA2.5\r")), 0);
    QString reply;
    EXPECT_EQ(comm->SendReadAscii(QStringLiteral("1TP?\r"), reply), 0);
    EXPECT_EQ(sim().rawLines(), (QList<QByteArray>{"1PA2.5\r", "1TP?\r"}));
    EXPECT_TRUE(reply.startsWith(QStringLiteral("2.5"))) << qPrintable(reply);

    // The driver's own code passes through a send; a send-and-read folds it into 0 or -1.
    sim().failNext(-2);
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1ST\r")), -2);
    sim().failNext(3);
    EXPECT_EQ(comm->SendAsciiNoTerm(QStringLiteral("1ST\r")).toInt(), 3);
    sim().failNext(-2);
    EXPECT_EQ(comm->SendReadAscii(QStringLiteral("1TP?\r"), reply), -1);
    EXPECT_EQ(reply, QString());

    // No reply: -1 and an empty text.
    sim().setSilent(true);
    EXPECT_EQ(comm->SendReadAscii(QStringLiteral("1TP?\r"), reply), -1);
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

    QString reply;
    sim().failNext(3);
    EXPECT_EQ(comm->SendReadAscii(QStringLiteral("1TP?\r"), reply), 0);
    sim().failNext(3);
    EXPECT_EQ(comm->SendAscii(QStringLiteral("1ST\r")), 3);
    sim().failNext(3);
    const QVariant noTerm = comm->SendAsciiNoTerm(QStringLiteral("1ST\r"));
    EXPECT_EQ(noTerm.typeId(), QMetaType::Short);
    EXPECT_EQ(noTerm.toInt(), 3);

    // A reply is cut at the driver's terminator and trimmed of blanks only.
    sim().setReply("1XX?", "  12.5\r\n");
    EXPECT_EQ(comm->SendReadAscii(QStringLiteral("1XX?\r"), reply), 0);
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
    EXPECT_EQ(comm->SendReadAscii(QStringLiteral("1XX?\r"), reply), 0);
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

TEST_F(InProcessLink, HandleErrorReportsOnceAndNeverThrows)
{
    open(BUS_TYPE_USB);
    comm->setInterval(50);
    comm->setTimerEnabled(true);
    ErrorEvents events(comm.get());

    RuntimeError error(1001, QStringLiteral("Break in communications"), QStringLiteral("KVLJog"));
    EXPECT_EQ(comm->HandleError(error), -2);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt, QStringLiteral("Error 1001 Break in communications KVLJog"));
    EXPECT_EQ(boxes.last().style, 0);
    EXPECT_FALSE(comm->IsOpen());
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    EXPECT_FALSE(comm->TimerEnabled());
    EXPECT_EQ(comm->Interval(), 50);
    EXPECT_EQ(error.Number, 0);
    ASSERT_EQ(events.count(), 1);
    EXPECT_EQ(events.numbers.first(), 1001);

    // A second failure while the box is still open: same state, no second box or event.
    open(BUS_TYPE_USB);
    ErrorEvents events2(comm.get());
    boxes.clear();
    int nestedResult = 0;
    platform::setMsgBoxHandler([&](const QString&, int, const QString&) {
        RuntimeError again(1001, QStringLiteral("again"), QStringLiteral("poller"));
        nestedResult = comm->HandleError(again);
        return 1;
    });
    RuntimeError outer(123456, QStringLiteral("huge"), QStringLiteral("test"));
    EXPECT_EQ(comm->HandleError(outer), -2); // a number beyond 16 bits is fitted, not thrown
    EXPECT_EQ(nestedResult, -2);
    ASSERT_EQ(events2.count(), 1);
    EXPECT_EQ(events2.numbers.first(), 32767);
    EXPECT_FALSE(comm->IsOpen());
    platform::setMsgBoxHandler({});
}

TEST_F(InProcessLink, RunTimeFailureInsideALinkMemberIsReportedAndNeverShownAsSuccess)
{
    // GPIB with no instrument and no library on the machine: the call raises a run-time error.
    KVLComm c;
    ErrorEvents events(&c);
    c.setBusType(BUS_TYPE_GPIB);
    EXPECT_EQ(c.KVLInit(), -1);
    ASSERT_EQ(boxes.count(), 1);
    EXPECT_TRUE(boxes.last().prompt.startsWith(QStringLiteral("Error 53 ")));
    EXPECT_FALSE(c.IsOpen());
    EXPECT_EQ(c.BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(events.count(), 1);
}

TEST_F(InProcessLink, PersistedPropertiesAndRegistry)
{
    platform::PropertyBag bag;
    {
        KVLComm c;
        c.InitProperties();
        c.WriteProperties(bag);
        // Defaults are not written; a new control's port 0 differs from the saved default 1.
        EXPECT_EQ(bag.values().keys(), QStringList{QStringLiteral("CommPort")});
        EXPECT_EQ(bag.ReadProperty(QStringLiteral("CommPort")).toInt(), 0);
    }
    bag.clear();
    {
        KVLComm c;
        QSignalSpy changed(&c, &KVLComm::PropertyChanged);
        c.setBusType(BUS_TYPE_RS232);
        c.setDeviceID(-3);
        EXPECT_EQ(c.DeviceID(), 0);
        c.setCommPort(1);
        EXPECT_EQ(changed.count(), 3);
        c.WriteProperties(bag);
        EXPECT_EQ(bag.values().size(), 1); // CommPort 1 and DeviceID 0 are the defaults
        EXPECT_EQ(bag.ReadProperty(QStringLiteral("BusType")).toInt(), 3);
    }
    {
        platform::PropertyBag saved;
        saved.WriteProperty(QStringLiteral("CommPort"), 4, 1);
        KVLComm c;
        c.ReadProperties(saved);
        EXPECT_EQ(c.CommPort(), 4);
        EXPECT_EQ(c.RS232CommControl()->CommPort(), 4); // the serial layer follows the saved port
        KVLComm d;
        d.ReadProperties(platform::PropertyBag());
        EXPECT_EQ(d.CommPort(), 1);
    }
    QObject* created = platform::createObject(QStringLiteral("KVL410ActiveX.KVLComm"));
    ASSERT_NE(qobject_cast<KVLComm*>(created), nullptr);
    delete created;
}

TEST_F(InProcessLink, CallsByDispatchIdentifier)
{
    open(BUS_TYPE_USB);
    sim().setReply("1XX?", "42\r\n");
    QVariantList args{QStringLiteral("1XX?\r"), QString()};
    EXPECT_EQ(platform::invoke(comm.get(), 0x6003004D, platform::MemberKind::Method, args).toInt(), 0);
    EXPECT_EQ(args.at(1).toString(), QStringLiteral("42\r\n"));
    EXPECT_EQ(platform::invoke(comm.get(), 0x6803003F, platform::MemberKind::PropertyGet).toInt(), BUS_TYPE_USB);
    platform::invoke(comm.get(), 0x6803003C, platform::MemberKind::PropertyPut, {77});
    EXPECT_EQ(comm->Interval(), 77);
    const platform::DispatchTable* table = comm->dispatchTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->members().first().name, QStringLiteral("StoreCurrentAxisState"));
    EXPECT_EQ(table->members().size(), 32);
}

// ---------------------------------------------------------------------------------------------
// RS-232 on a pseudo-terminal.

class SerialLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isOpen());
        qputenv("KVL_COM7", pty.slavePath().toLocal8Bit());
        comm = std::make_unique<KVLComm>();
        comm->setBusType(BUS_TYPE_RS232);
        comm->setCommPort(7);
        comm->setSettings(QStringLiteral("19200,n,8,1"));
    }
    void TearDown() override
    {
        comm.reset();
        qunsetenv("KVL_COM7");
    }
    void openLink()
    {
        ASSERT_EQ(comm->KVLInit(), 0);
        ASSERT_EQ(comm->KVLOpen(), 0);
        ASSERT_EQ(comm->BusType(), BUS_TYPE_RS232);
    }
    QList<QByteArray> rawLines()
    {
        QList<QByteArray> lines;
        pty.with([&](SimController& s) { lines = s.rawLines(); });
        return lines;
    }
    void clearLog()
    {
        pty.with([](SimController& s) { s.clearLog(); });
    }

    MsgBoxRecorder boxes;
    SimPtyThread pty;
    std::unique_ptr<KVLComm> comm;
};

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
    EXPECT_EQ(comm->SendReadAscii(QStringLiteral("1QM?"), reply), 0);
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
    pty.with([](SimController& s) { s.setNoLineFeed(true); });
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(comm->SendReadAscii(QStringLiteral("1QM?"), reply), 0);
    EXPECT_EQ(reply, QStringLiteral("1\r"));
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_LT(t.elapsed(), 2000);

    pty.with([](SimController& s) { s.setSilent(true); });
    t.restart();
    const std::clock_t cpu = std::clock();
    EXPECT_EQ(comm->SendReadAscii(QStringLiteral("1QM?"), reply), -1);
    EXPECT_EQ(reply, QString());
    EXPECT_LT(t.elapsed(), 2000);
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
        const int status = comm->SendReadAscii(QStringLiteral("1QM?"), reply);
        EXPECT_EQ(status, -1);
    }
    EXPECT_LE(events.count(), 1);
    EXPECT_LE(boxes.count(), 1);
}

} // namespace
