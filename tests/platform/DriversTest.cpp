#include "platform/drivers/PciDriver.h"
#include "platform/drivers/SimulatedDevice.h"
#include "platform/drivers/UsbDriver.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstring>

using namespace platform;

namespace {

// A device that records what it is sent and answers from a script; it may hand more bytes than
// asked for, to prove the drivers cut the reply to the buffer.
class ScriptedDevice : public SimulatedDevice {
public:
    int receive(const QByteArray& bytes) override
    {
        received.append(bytes);
        return sendCode;
    }
    int reply(QByteArray& bytes, int capacity) override
    {
        if (replyCode != 0 || replies.isEmpty())
            return replyCode;
        const int n = overrun ? static_cast<int>(replies.first().size()) : capacity;
        bytes = replies.first().left(n);
        replies.first().remove(0, n);
        if (replies.first().isEmpty())
            replies.removeFirst();
        return 0;
    }
    int reset() override
    {
        ++resets;
        return resetCode;
    }

    QList<QByteArray> received;
    QList<QByteArray> replies;
    int sendCode = 0;
    int replyCode = 0;
    int resetCode = 0;
    int resets = 0;
    bool overrun = false;
};

class PciDriverTest : public ::testing::Test {
protected:
    void TearDown() override { drivers::removeAllPciBoards(); }
    ScriptedDevice board0;
    ScriptedDevice board1;
};

TEST_F(PciDriverTest, WithoutBoardsNothingIsFound)
{
    int count = 7;
    int second = 7;
    EXPECT_EQ(kvl_get_num_boards(&count, &second), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(kvl_get_num_boards(nullptr, nullptr), 0);
    EXPECT_EQ(kvl_init_system(), -1);
    EXPECT_EQ(kvl_open_system(), -1);
    EXPECT_EQ(kvl_send_ascii("VE?\r"), -1);
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(kvl_read_ascii(buffer, sizeof buffer), -1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(kvl_send_read_ascii("VE?\r", buffer, sizeof buffer), -1);
}

TEST_F(PciDriverTest, TargetBoardRoutesEveryCall)
{
    drivers::installPciBoard(0, &board0);
    drivers::installPciBoard(1, &board1);
    int count = 0;
    kvl_get_num_boards(&count, nullptr);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(drivers::targetPciBoard(), 0);

    EXPECT_EQ(kvl_set_target_board(1), 0);
    EXPECT_EQ(kvl_init_system(), 0);
    EXPECT_EQ(kvl_open_system(), 0);
    EXPECT_EQ(kvl_send_ascii("1MO\r"), 0);
    EXPECT_EQ(board1.resets, 1);
    EXPECT_EQ(board1.received, QList<QByteArray>{"1MO\r"});
    EXPECT_TRUE(board0.received.isEmpty());

    EXPECT_EQ(kvl_set_target_board(4), -1);
    EXPECT_EQ(kvl_send_ascii("1MO\r"), -1);
}

TEST_F(PciDriverTest, ReadsHonourTheCapacityAndPassCodesOn)
{
    drivers::installPciBoard(0, &board0);
    board0.replies = {QByteArray("KVL410 Version 2.0\r\n")};
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(kvl_read_ascii(buffer, 5), 0);
    EXPECT_STREQ(buffer, "KVL4");
    EXPECT_EQ(buffer[5], '#');

    // A device that ignores the capacity is still cut to it.
    board0.overrun = true;
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(kvl_send_read_ascii("VE?\r", buffer, 4), 0);
    EXPECT_STREQ(buffer, "10 ");
    EXPECT_EQ(buffer[4], '#');

    // Nothing waiting: a time-out.
    EXPECT_EQ(kvl_read_ascii(buffer, sizeof buffer), -1);
    EXPECT_EQ(buffer[0], '\0');

    board0.sendCode = 3;
    EXPECT_EQ(kvl_send_ascii("1MO\r"), 3);
    EXPECT_EQ(kvl_send_read_ascii("VE?\r", buffer, sizeof buffer), 3);
    board0.sendCode = 0;
    board0.replyCode = -2;
    EXPECT_EQ(kvl_read_ascii(buffer, sizeof buffer), -2);

    EXPECT_EQ(kvl_read_ascii(nullptr, 10), -1);
    EXPECT_EQ(kvl_read_ascii(buffer, 0), -1);
    EXPECT_EQ(kvl_read_ascii(buffer, -3), -1);
    EXPECT_EQ(kvl_send_ascii(nullptr), -1);
}

class UsbDriverTest : public ::testing::Test {
protected:
    void TearDown() override { drivers::removeAllUsbDevices(); }
    ScriptedDevice device;
};

TEST_F(UsbDriverTest, WithoutDevicesEverythingFails)
{
    EXPECT_EQ(kvl_usb_init_system(), -1);
    EXPECT_EQ(kvl_usb_send_ascii(0, "VE?\r", 4), -1);
    char buffer[8];
    int count = 9;
    EXPECT_EQ(kvl_usb_get_ascii(0, buffer, sizeof buffer, &count), -1);
    EXPECT_EQ(count, 0);
}

TEST_F(UsbDriverTest, ExchangesGoToTheIndexedDevice)
{
    drivers::installUsbDevice(2, &device);
    EXPECT_EQ(kvl_usb_init_system(), 0);
    EXPECT_EQ(device.resets, 1);
    EXPECT_EQ(kvl_usb_send_ascii(0, "VE?\r", 4), -1);

    // Exactly `length` bytes, NUL included.
    EXPECT_EQ(kvl_usb_send_ascii(2, "A\0B\rzz", 4), 0);
    EXPECT_EQ(device.received, QList<QByteArray>{QByteArray("A\0B\r", 4)});

    device.sendCode = -2;
    EXPECT_EQ(kvl_usb_send_ascii(2, "1MO\r", 4), -2);
    device.resetCode = 7;
    EXPECT_EQ(kvl_usb_init_system(), 7);

    EXPECT_EQ(kvl_usb_send_ascii(2, nullptr, 4), -1);
    EXPECT_EQ(kvl_usb_send_ascii(2, "x", -1), -1);
}

TEST_F(UsbDriverTest, GetClampsToTheBufferAndCounts)
{
    drivers::installUsbDevice(0, &device);
    device.overrun = true;
    device.replies = {QByteArray("12.5000\r\n")};
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    int count = 0;
    EXPECT_EQ(kvl_usb_get_ascii(0, buffer, 5, &count), 0);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(QByteArray(buffer, 6), QByteArray("12.50#"));

    // Nothing waiting.
    EXPECT_EQ(kvl_usb_get_ascii(0, buffer, 5, &count), -1);
    EXPECT_EQ(count, 0);

    device.replyCode = -2;
    count = 4;
    EXPECT_EQ(kvl_usb_get_ascii(0, buffer, 5, &count), -2);
    EXPECT_EQ(count, 0);

    EXPECT_EQ(kvl_usb_get_ascii(0, nullptr, 5, &count), -1);
    EXPECT_EQ(kvl_usb_get_ascii(0, buffer, -1, &count), -1);
    EXPECT_EQ(kvl_usb_get_ascii(0, buffer, 5, nullptr), -2);
}

} // namespace

namespace {

TEST_F(PciDriverTest, VersionAndGatheredDataStayInsideTheirBuffers)
{
    char first[8];
    char second[8];
    EXPECT_EQ(kvl_get_version(first, second, sizeof first), -1);
    EXPECT_STREQ(second, "");

    drivers::installPciBoard(0, &board0);
    drivers::setPciVersion("kvl7100", "Version 2.34");
    std::memset(second, '#', sizeof second);
    EXPECT_EQ(kvl_get_version(first, second, 5), 0);
    EXPECT_STREQ(first, "kvl7");
    EXPECT_STREQ(second, "Vers");
    EXPECT_EQ(second[5], '#');

    drivers::setPciGatheredData({5, -3, 7});
    int data[3] = {0, 0, 99};
    int count = 0;
    int third = 1;
    EXPECT_EQ(kvl_get_daq_data(data, 2, &count, &third), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(data[1], -3);
    EXPECT_EQ(data[2], 99);
    EXPECT_EQ(kvl_get_daq_data(nullptr, 2, &count, nullptr), -1);
    EXPECT_EQ(count, 0);
}

TEST_F(PciDriverTest, FlashProgrammingReadsTheFileWordByWord)
{
    drivers::installPciBoard(0, &board0);
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write("\x02\r\n$KVL7100,1A2B, 00ff,\r\n3,zz");
    file.flush();
    const QByteArray path = QFile::encodeName(file.fileName());

    EXPECT_EQ(kvl_open_flash_file(path.constData()), 0);
    QList<int> header;
    for (int i = 0; i < 4; ++i)
        header.append(ReadFirstChar());
    EXPECT_EQ(header, (QList<int>{2, 13, 10, 36}));
    kvl_read_to_comma();
    kvl_start_talker();
    kvl_flash_strobe(0);
    kvl_flash_erase();
    QList<int> results;
    for (int i = 0; i < 5; ++i)
        results.append(kvl_write_flash_word());
    EXPECT_EQ(results, (QList<int>{0, 0, 0, 1, -1}));
    EXPECT_EQ(drivers::pciFlashWords(), (QList<quint16>{0x1A2B, 0x00FF, 0x3}));
    kvl_flash_strobe(1);
    EXPECT_EQ(kvl_close_flash_file(), 0);
    EXPECT_EQ(drivers::pciFlashCalls().mid(9, 1), QStringList{"kvl_write_flash_word"});
    EXPECT_EQ(drivers::pciFlashCalls().last(2),
              (QStringList{"kvl_flash_strobe(1)", "kvl_close_flash_file"}));

    // A missing file, or no board: nothing to read.
    EXPECT_EQ(kvl_open_flash_file("/nonexistent/fw.fwr"), -1);
    EXPECT_EQ(ReadFirstChar(), -1);
    EXPECT_EQ(kvl_write_flash_word(), -1);
    EXPECT_EQ(kvl_open_flash_file(nullptr), -1);
}

} // namespace
