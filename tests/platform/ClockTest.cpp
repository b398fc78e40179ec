#include "platform/kernel/Clock.h"
#include "platform/kernel/OsVersion.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <time.h>

using platform::Clock;

namespace {

qint64 threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

class ClockTest : public ::testing::Test {
protected:
    void TearDown() override { Clock::useRealClock(); }
};

} // namespace

TEST_F(ClockTest, ManualClockMakesLongWaitsTakeNoRealTime)
{
    QElapsedTimer real;
    real.start();
    Clock::useManualClock();
    EXPECT_TRUE(Clock::isManual());
    EXPECT_EQ(Clock::tickMs(), 1000);

    // An 18-second wait lets pending events run once and moves the clock on by 18 seconds.
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    Clock::pumpFor(18000);
    EXPECT_TRUE(ran);
    EXPECT_EQ(Clock::tickMs(), 19000);

    Clock::advance(5);
    EXPECT_EQ(Clock::tickMs(), 19005);
    Clock::sleepMs(2); // a kernel sleep moves the test clock as well
    EXPECT_EQ(Clock::tickMs(), 19007);

    // A wait for a condition ends when it holds, or at its limit.
    const qint64 start = Clock::tickMs();
    EXPECT_TRUE(Clock::pumpUntil([&] { return Clock::tickMs() - start >= 500; }, 18000));
    EXPECT_EQ(Clock::tickMs() - start, 500);
    const qint64 second = Clock::tickMs();
    EXPECT_FALSE(Clock::pumpUntil([] { return false; }, 18000, 100));
    EXPECT_EQ(Clock::tickMs() - second, 18000);

    Clock::useManualClock(0);
    EXPECT_EQ(Clock::tickMs(), 0);
    EXPECT_LT(real.elapsed(), 2000);

    Clock::useRealClock();
    EXPECT_FALSE(Clock::isManual());
    EXPECT_GT(Clock::tickMs(), 0);
}

TEST_F(ClockTest, RealWaitRunsEventsInANestedLoopWithoutSpinning)
{
    // The tick count is monotonic and follows real time.
    const qint64 t0 = Clock::tickMs();
    Clock::sleepMs(20);
    EXPECT_GE(Clock::tickMs() - t0, 20);

    // Timers fire during the wait, and the wait lasts its full time.
    int fired = 0;
    QTimer::singleShot(20, [&] { ++fired; });
    QTimer::singleShot(60, [&] { ++fired; });
    QElapsedTimer real;
    real.start();
    const qint64 cpu0 = threadCpuMs();
    const qint64 tick0 = Clock::tickMs();
    Clock::pumpFor(300);
    const qint64 cpu = threadCpuMs() - cpu0;
    EXPECT_EQ(fired, 2);
    EXPECT_GE(real.elapsed(), 295);
    EXPECT_LT(real.elapsed(), 5000);
    EXPECT_GE(Clock::tickMs() - tick0, 295);
    EXPECT_LT(cpu, 150) << "the wait used " << cpu << " ms of processor time";

    // A wait for a condition ends as soon as it holds.
    bool flag = false;
    QTimer::singleShot(30, [&] { flag = true; });
    real.restart();
    EXPECT_TRUE(Clock::pumpUntil([&] { return flag; }, 5000));
    EXPECT_LT(real.elapsed(), 2000);
    real.restart();
    EXPECT_FALSE(Clock::pumpUntil([] { return false; }, 50));
    EXPECT_GE(real.elapsed(), 45);

    // Processing events once runs what is pending.
    bool pending = false;
    QTimer::singleShot(0, [&] { pending = true; });
    Clock::pumpOnce();
    EXPECT_TRUE(pending);
    pending = false;
    QTimer::singleShot(0, [&] { pending = true; });
    Clock::pumpFor(0);
    EXPECT_TRUE(pending);
}

TEST(OsVersion, ReportsNtSixOneUnlessATestSetsAnother)
{
    platform::OsVersionInfo v = platform::GetVersionEx();
    EXPECT_EQ(v.platformId, 2);
    EXPECT_EQ(v.majorVersion, 6);
    EXPECT_EQ(v.minorVersion, 1);

    platform::setVersionForTests({1, 4, 10});
    v = platform::GetVersionEx();
    EXPECT_EQ(v.platformId, 1);
    EXPECT_EQ(v.majorVersion, 4);
    EXPECT_EQ(v.minorVersion, 10);

    platform::resetVersionForTests();
    EXPECT_EQ(platform::GetVersionEx().majorVersion, 6);
}
