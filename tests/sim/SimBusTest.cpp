#include "platform/drivers/PciDriver.h"
#include "platform/drivers/UsbDriver.h"
#include "platform/gpib/GpibLibrary.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace platform;

namespace {

// One in-process bus as the link uses it: a send, and a read into a buffer of the link's size.
// Each returns the driver's code (GPIB: 0, or -1 when the status word has its error bit).
class Bus {
public:
    virtual ~Bus() = default;
    virtual int send(const QByteArray& command) = 0;
    virtual int read(QByteArray& reply, int capacity = 255) = 0;
};

class GpibBus : public Bus {
public:
    explicit GpibBus(SimDevice& device)
    {
        device.installOnGpib(4);
        RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
        ud = ibdev(0, 4, 0, 12, 1, 0);
    }
    ~GpibBus() override { UnregisterGpibGlobalsForThread(); }
    int send(const QByteArray& command) override
    {
        return ibwrt(ud, command.constData(), command.size()) & gpib::ERR ? -1 : 0;
    }
    int read(QByteArray& reply, int capacity) override
    {
        QByteArray buffer(capacity, ' ');
        const int status = ibrd(ud, buffer.data(), capacity);
        reply = buffer.left(cntl);
        return status & gpib::ERR ? -1 : 0;
    }
    int ud = -1;
    int sta = 0;
    int err = 0;
    int cnt = 0;
    long cntl = 0;
};

class UsbBus : public Bus {
public:
    explicit UsbBus(SimDevice& device) { device.installOnUsb(1); }
    int send(const QByteArray& command) override
    {
        return kvl_usb_send_ascii(1, command.constData(), static_cast<int>(command.size()));
    }
    int read(QByteArray& reply, int capacity) override
    {
        QByteArray buffer(capacity, ' ');
        int count = 0;
        const int code = kvl_usb_get_ascii(1, buffer.data(), capacity, &count);
        reply = buffer.left(count);
        return code;
    }
};

class PciBus : public Bus {
public:
    explicit PciBus(SimDevice& device)
    {
        device.installOnPci(0);
        kvl_set_target_board(0);
    }
    int send(const QByteArray& command) override { return kvl_send_ascii(command.constData()); }
    int read(QByteArray& reply, int capacity) override
    {
        QByteArray buffer(capacity, ' ');
        const int code = kvl_read_ascii(buffer.data(), capacity);
        reply = QByteArray(buffer.constData()); // up to the NUL
        return code;
    }
};

enum class Kind { Gpib, Usb, Pci };

class SimBusTest : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override
    {
        switch (GetParam()) {
        case Kind::Gpib: bus = std::make_unique<GpibBus>(device); break;
        case Kind::Usb: bus = std::make_unique<UsbBus>(device); break;
        case Kind::Pci: bus = std::make_unique<PciBus>(device); break;
        }
    }
    void TearDown() override
    {
        bus.reset();
        device.uninstall();
    }
    // GPIB reports every failure as its error bit.
    int expected(int code) const { return GetParam() == Kind::Gpib && code != 0 ? -1 : code; }

    QByteArray query(const QByteArray& command)
    {
        QByteArray reply;
        if (bus->send(command) == 0)
            bus->read(reply);
        return reply;
    }

    SimDevice device;
    SimController& sim = device.controller();
    std::unique_ptr<Bus> bus;
};

TEST_P(SimBusTest, ExchangesLinesWithTheController)
{
    EXPECT_EQ(query("VE?\r\n"), QByteArray("KVL410 Version 2.0\r\n"));
    EXPECT_EQ(bus->send("3VA 2.5\r"), 0);
    EXPECT_EQ(query(" 3VA?\r"), QByteArray("2.5\r\n"));
    // A command without terminator is still one line: the write ends it.
    EXPECT_EQ(bus->send("QP"), 0);
    EXPECT_EQ(sim.rawLines(), (QList<QByteArray>{"VE?\r\n", "3VA 2.5\r", " 3VA?\r", "QP"}));

    // No reply waiting is a failure of the read.
    QByteArray reply;
    EXPECT_NE(bus->read(reply), 0);
    EXPECT_TRUE(reply.isEmpty());
}

TEST_P(SimBusTest, SilentAndNoLineFeed)
{
    sim.setSilent(true);
    EXPECT_EQ(bus->send("VE?\r"), 0);
    QByteArray reply;
    EXPECT_NE(bus->read(reply), 0);
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_EQ(sim.lines(), QList<QByteArray>{"VE?"});

    sim.setSilent(false);
    sim.setNoLineFeed(true);
    EXPECT_EQ(query("1TP\r"), QByteArray("0.0000\r"));
}

TEST_P(SimBusTest, FailNextFailsThatManyDriverCalls)
{
    sim.failNext(-2);
    EXPECT_EQ(bus->send("1MO\r"), expected(-2));
    EXPECT_TRUE(sim.lines().isEmpty()); // a failed write transfers nothing
    EXPECT_EQ(bus->send("VE?\r"), 0);
    sim.failNext(-7, 2);
    QByteArray reply;
    EXPECT_EQ(bus->read(reply), expected(-7));
    EXPECT_EQ(bus->read(reply), expected(-7));
    EXPECT_EQ(bus->read(reply), 0);
    EXPECT_EQ(reply, QByteArray("KVL410 Version 2.0\r\n"));
}

TEST_P(SimBusTest, VanishMidExchange)
{
    sim.vanishAfter(2);
    EXPECT_EQ(bus->send("1MO\r"), 0);
    // The query goes out, but the device is gone before it answers.
    EXPECT_EQ(bus->send("VE?\r"), 0);
    QByteArray reply;
    EXPECT_EQ(bus->read(reply), expected(SimController::VanishedCode));
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_EQ(bus->send("1MO\r"), expected(SimController::VanishedCode));
    EXPECT_EQ(sim.lines(), (QList<QByteArray>{"1MO", "VE?"}));
}

TEST_P(SimBusTest, ScriptedReplyAndShortBuffers)
{
    sim.setReply("2ID?", "XY-100, 25mm\r\n");
    EXPECT_EQ(bus->send("2ID?\r"), 0);
    QByteArray reply;
    // PCI keeps room for its NUL.
    const int capacity = GetParam() == Kind::Pci ? 6 : 5;
    EXPECT_EQ(bus->read(reply, capacity), 0);
    EXPECT_EQ(reply, QByteArray("XY-10"));
    EXPECT_EQ(bus->read(reply), 0);
    EXPECT_EQ(reply, QByteArray("0, 25mm\r\n"));
}

TEST_P(SimBusTest, InitialisationClearsTheDevice)
{
    EXPECT_EQ(bus->send("VE?\r"), 0);
    switch (GetParam()) {
    case Kind::Gpib: EXPECT_EQ(ibclr(static_cast<GpibBus&>(*bus).ud) & gpib::ERR, 0); break;
    case Kind::Usb: EXPECT_EQ(kvl_usb_init_system(), 0); break;
    case Kind::Pci: EXPECT_EQ(kvl_init_system(), 0); break;
    }
    EXPECT_EQ(sim.deviceClears(), 1);
    EXPECT_EQ(sim.pendingReplies(), 0);
    sim.failNext(-3);
    switch (GetParam()) {
    case Kind::Gpib: EXPECT_NE(ibclr(static_cast<GpibBus&>(*bus).ud) & gpib::ERR, 0); break;
    case Kind::Usb: EXPECT_EQ(kvl_usb_init_system(), -3); break;
    case Kind::Pci: EXPECT_EQ(kvl_init_system(), -3); break;
    }
}

INSTANTIATE_TEST_SUITE_P(Buses, SimBusTest, ::testing::Values(Kind::Gpib, Kind::Usb, Kind::Pci),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             switch (info.param) {
                             case Kind::Gpib: return "Gpib";
                             case Kind::Usb: return "Usb";
                             case Kind::Pci: return "Pci";
                             }
                             return "Unknown";
                         });

TEST(SimDeviceTest, DestructionRemovesItOnlyWhereItStillStands)
{
    SimController shared;
    auto first = std::make_unique<SimDevice>(&shared);
    SimDevice second(&shared);
    first->installOnUsb(0);
    first->installOnPci(0);
    second.installOnPci(0); // takes the slot over
    first.reset();
    EXPECT_EQ(drivers::usbDevice(0), nullptr);
    EXPECT_EQ(drivers::pciBoard(0), &second);
    second.uninstall();
    EXPECT_EQ(drivers::pciBoard(0), nullptr);

    // A device whose controller is gone answers as a vanished one.
    auto controller = std::make_unique<SimController>();
    SimDevice orphan(controller.get());
    controller.reset();
    QByteArray bytes;
    EXPECT_EQ(orphan.receive("VE?\r"), SimController::VanishedCode);
    EXPECT_EQ(orphan.reply(bytes, 10), SimController::VanishedCode);
}

} // namespace
