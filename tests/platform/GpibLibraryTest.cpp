#include "platform/RuntimeError.h"
#include "platform/drivers/SimulatedDevice.h"
#include "platform/gpib/GpibLibrary.h"

#include <QByteArray>
#include <QList>

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>

using namespace platform;

namespace {

// An instrument that records what it is sent and answers from a script.
class ScriptedInstrument : public SimulatedDevice {
public:
    int receive(const QByteArray& bytes) override
    {
        written.append(bytes);
        return writeCode;
    }
    int reply(QByteArray& bytes, int capacity) override
    {
        asked.append(capacity);
        if (replyCode != 0 || replies.isEmpty())
            return replyCode;
        bytes = replies.first().left(capacity);
        replies.first().remove(0, capacity);
        if (replies.first().isEmpty())
            replies.removeFirst();
        return 0;
    }
    int serialPoll() override { return pollByte; }
    int reset() override
    {
        ++resets;
        return resetCode;
    }

    QList<QByteArray> written;
    QList<QByteArray> replies;
    QList<int> asked;
    int writeCode = 0;
    int replyCode = 0;
    int resetCode = 0;
    int pollByte = 0;
    int resets = 0;
};

class GpibLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gpib::forceRegistrationResult(-1);
        UnregisterGpibGlobalsForThread();
        ASSERT_EQ(RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
    }
    void TearDown() override
    {
        gpib::removeAllInstruments();
        gpib::forceRegistrationResult(-1);
        UnregisterGpibGlobalsForThread();
    }

    int open(int pad)
    {
        gpib::installInstrument(pad, &device);
        return ibdev(0, pad, 0, 12, 1, 0);
    }

    ScriptedInstrument device;
    int sta = 0;
    int err = 0;
    int cnt = 0;
    long cntl = 0;
};

TEST_F(GpibLibraryTest, RegistrationReportsRepeatsAndForcedResults)
{
    EXPECT_EQ(RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 1);

    gpib::forceRegistrationResult(2);
    EXPECT_EQ(RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 2);
    EXPECT_EQ(RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 2);
    gpib::forceRegistrationResult(-1);
    EXPECT_EQ(RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 1);

    // Unregistered words are left alone by the calls.
    UnregisterGpibGlobalsForThread();
    sta = 1234;
    gpib::installInstrument(3, &device);
    ibdev(0, 9, 0, 12, 1, 0);
    EXPECT_EQ(sta, 1234);
    EXPECT_EQ(RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
}

TEST_F(GpibLibraryTest, IbdevFindsOnlyInstalledAddressesAndChecksArguments)
{
    const int ud = open(5);
    EXPECT_GT(ud, 0);
    EXPECT_EQ(sta & gpib::ERR, 0);

    EXPECT_EQ(ibdev(0, 6, 0, 12, 1, 0), -1);
    EXPECT_NE(sta & gpib::ERR, 0);
    EXPECT_EQ(err, gpib::ENOL);

    EXPECT_EQ(ibdev(0, 31, 0, 12, 1, 0), -1);
    EXPECT_EQ(err, gpib::EARG);
    EXPECT_EQ(ibdev(0, 5, 0, 18, 1, 0), -1);
    EXPECT_EQ(err, gpib::EARG);
    EXPECT_EQ(ibdev(1, 5, 0, 12, 1, 0), -1);
    EXPECT_EQ(err, gpib::ENEB);

    // A descriptor that was never handed out, and one whose instrument was taken away.
    EXPECT_NE(ibclr(ud + 100) & gpib::ERR, 0);
    gpib::installInstrument(5, nullptr);
    gpib::installInstrument(7, &device); // keeps the stand-in simulating
    EXPECT_NE(ibwrt(ud, "1MO\r", 4) & gpib::ERR, 0);
    EXPECT_EQ(err, gpib::ENOL);
}

TEST_F(GpibLibraryTest, WriteSendsExactlyCountBytes)
{
    const int ud = open(1);
    const char line[] = {'A', '\0', '\xB5', '\r', 'x', 'y'};
    EXPECT_EQ(ibwrt(ud, line, 4) & gpib::ERR, 0);
    ASSERT_EQ(device.written.size(), 1);
    EXPECT_EQ(device.written.at(0), QByteArray(line, 4));
    EXPECT_EQ(cntl, 4);
    EXPECT_EQ(cnt, 4);

    device.writeCode = -2;
    EXPECT_NE(ibwrt(ud, "1MO\r", 4) & gpib::ERR, 0);

    // Bad arguments fail without touching the device.
    device.written.clear();
    EXPECT_EQ(ibwrt(ud, nullptr, 4), gpib::ERR);
    EXPECT_EQ(err, gpib::EARG);
    EXPECT_EQ(ibwrt(ud, "x", -1), gpib::ERR);
    EXPECT_TRUE(device.written.isEmpty());
}

TEST_F(GpibLibraryTest, ReadFillsAtMostCountBytesWithoutTerminator)
{
    const int ud = open(1);
    device.replies = {QByteArray("12.5000\r\n")};
    char buffer[16];
    std::memset(buffer, ' ', sizeof buffer);

    int status = ibrd(ud, buffer, 4);
    EXPECT_EQ(status & gpib::ERR, 0);
    EXPECT_EQ(status & gpib::END, 0); // more of the message waits
    EXPECT_EQ(cntl, 4);
    EXPECT_EQ(QByteArray(buffer, 6), QByteArray("12.5  "));

    status = ibrd(ud, buffer, sizeof buffer);
    EXPECT_NE(status & gpib::END, 0);
    EXPECT_EQ(cntl, 5);
    EXPECT_EQ(QByteArray(buffer, 6), QByteArray("000\r\n "));

    // Nothing more: a time-out.
    status = ibrd(ud, buffer, sizeof buffer);
    EXPECT_EQ(status, gpib::ERR | gpib::TIMO);
    EXPECT_EQ(err, gpib::EABO);
    EXPECT_EQ(cntl, 0);

    device.replyCode = -2;
    EXPECT_NE(ibrd(ud, buffer, sizeof buffer) & gpib::ERR, 0);

    EXPECT_EQ(ibrd(ud, nullptr, 10), gpib::ERR);
    EXPECT_EQ(err, gpib::EARG);
    EXPECT_EQ(ibrd(ud, buffer, -5), gpib::ERR);
    EXPECT_EQ(ibrd(ud, buffer, 0) & gpib::TIMO, gpib::TIMO);
}

TEST_F(GpibLibraryTest, SerialPollClearAndTimeout)
{
    const int ud = open(2);
    device.pollByte = 0xD0;
    char spr = 0;
    EXPECT_EQ(ibrsp(ud, &spr) & gpib::ERR, 0);
    EXPECT_EQ(static_cast<unsigned char>(spr), 0xD0);
    EXPECT_EQ(ibrsp(ud, nullptr), gpib::ERR);
    device.pollByte = -2;
    EXPECT_NE(ibrsp(ud, &spr) & gpib::ERR, 0);

    EXPECT_EQ(ibclr(ud) & gpib::ERR, 0);
    EXPECT_EQ(device.resets, 1);
    device.resetCode = 5;
    EXPECT_NE(ibclr(ud) & gpib::ERR, 0);

    EXPECT_EQ(ibtmo(ud, 9) & gpib::ERR, 0);
    EXPECT_NE(ibtmo(ud, 18) & gpib::ERR, 0);
    EXPECT_EQ(err, gpib::EARG);
}

TEST_F(GpibLibraryTest, WithoutInstrumentsAMissingLibraryRaisesError53)
{
    if (void* lib = dlopen("libgpib.so.0", RTLD_NOW)) {
        dlclose(lib);
        GTEST_SKIP() << "this machine has a GPIB library";
    }
    try {
        ibdev(0, 1, 0, 12, 1, 0);
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number, 53);
        EXPECT_EQ(e.Description, QStringLiteral("File not found: libgpib.so.0"));
    }
    EXPECT_THROW(ibwrt(1, "x", 1), RuntimeError);
    EXPECT_THROW(ibrd(1, nullptr, -1), RuntimeError);
}

} // namespace
