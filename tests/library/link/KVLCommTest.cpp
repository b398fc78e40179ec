#include "tests/library/link/LinkFixtures.h"

using platform::RuntimeError;

namespace {

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
    // Lines sent while the tick was off leave nothing to put in step when it comes back on: in demo
    // mode nothing is on the way, and no query waits or breaks the link.
    EXPECT_EQ(c.SendAscii(QStringLiteral("1MO")), 0);
    c.setTimerEnabled(true);
    c.setTimerEnabled(false);
    for (int i = 0; i < KVLComm::UnansweredQueryLimit; ++i)
        EXPECT_EQ(c.SendReadAscii(QStringLiteral("1TP?"), reply), 0);
    EXPECT_TRUE(c.IsOpen());

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

// The PCI board takes C strings: a command holding a NUL is refused whole, with a message, and a
// query refused so never reached the controller, so it is no sign of its silence.
TEST_F(InProcessLink, PciRefusesANulBeforeSendingAndThatIsNoSilence)
{
    open(BUS_TYPE_PCI);
    const QString withNul = QString::fromLatin1(QByteArray("1VA 25\0 5", 9));
    EXPECT_EQ(comm->SendAscii(withNul), -1);
    EXPECT_EQ(comm->SendAsciiNoTerm(withNul).toInt(), -1);
    QString reply = QStringLiteral("untouched");
    for (int i = 0; i < 2 * KVLComm::UnansweredQueryLimit; ++i)
        EXPECT_EQ(ask(withNul + QLatin1Char('?'), reply), KVLComm::QueryNotSent);
    EXPECT_EQ(reply, QStringLiteral("untouched"));
    EXPECT_TRUE(sim().lines().isEmpty());
    EXPECT_EQ(comm->BusType(), BUS_TYPE_PCI);
    EXPECT_TRUE(comm->IsOpen());
    ASSERT_GE(boxes.count(), 1);
    EXPECT_EQ(boxes.last().prompt,
              QStringLiteral("The command holds a NUL character, which the PCI bus cannot carry. Nothing was sent."));
    EXPECT_EQ(ask(QStringLiteral("VE?"), reply), 0);
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

    // The motion interface by its own name and by its class's, on the control's own cache.
    for (const QString& name : {QStringLiteral("_IMotion"), QStringLiteral("IMotion")}) {
        platform::invoke(comm.get(), 0x68030030, platform::MemberKind::PropertyPut, {3, name.size()}, name); // MotorType
        EXPECT_EQ(comm->MotorType(3), name.size()) << name.toStdString();
    }
}

} // namespace
