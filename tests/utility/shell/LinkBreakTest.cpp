#include "library/link/BusType.h"
#include "library/link/KVLComm.h"
#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "tests/support/MsgBoxRecorder.h"
#include "tests/support/ShellRig.h"
#include "utility/shell/Application.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"

#include <gtest/gtest.h>

#include <stdexcept>

using platform::Clock;
using platform::RuntimeError;

namespace {

struct TestClock {
    TestClock() { Clock::useManualClock(1000, 5); }
    ~TestClock() { Clock::useRealClock(); }
};

int breakReports(const ShellRig& rig)
{
    int reports = 0;
    for (const ShellRig::Box& b : rig.boxes)
        reports += b.title == QStringLiteral("!Error") ? 1 : 0;
    return reports;
}

} // namespace

// A controller that stops answering while the windows poll it: one break report within a few
// seconds, and the status bar says so.
TEST(LinkBreak, ASilentControllerIsFoundWithinSeconds)
{
    TestClock clock;
    ShellRig rig;
    rig.useSerialLink();
    // What the status bar says while each box waits.
    frmMain* main = nullptr;
    QStringList barAtBox;
    rig.answer = [&](const ShellRig::Box&) {
        if (main)
            barAtBox << main->StatusBarPanelText(1) + QLatin1Char('|') + main->StatusBarPanelText(2);
        return int(platform::vbNo);
    };
    main = rig.start();
    ASSERT_TRUE(rig.comm()->IsOpen());
    ASSERT_EQ(rig.comm()->BusType(), BUS_TYPE_RS232);
    rig.boxes.clear();
    barAtBox.clear();

    rig.withSim([](SimController& s) { s.setSilent(true); });
    const qint64 start = Clock::tickMs();
    EXPECT_TRUE(Clock::pumpUntil([] { return KvlXGlobal::gCommBroken; }, 20000));
    EXPECT_LT(Clock::tickMs() - start, 8000);
    Clock::pumpFor(500);
    EXPECT_EQ(breakReports(rig), 1);
    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(main->StatusBarPanelText(1), QStringLiteral("Disconnected"));
    EXPECT_EQ(main->StatusBarPanelText(2), QStringLiteral("Demo Mode"));
    // The control's report and the program's: both with the bar already telling the truth.
    EXPECT_EQ(barAtBox, QStringList(2, QStringLiteral("Disconnected|Demo Mode")));
}

// An exception that leaves an event handler ends at the program's boundary, never the program.
TEST(LinkBreak, ExceptionsFromEventHandlersEndAtTheBoundary)
{
    {
        MsgBoxRecorder boxes;
        EXPECT_FALSE(Application::deliver([]() -> bool { throw std::runtime_error("bad state"); }));
        EXPECT_FALSE(Application::deliver([]() -> bool { throw RuntimeError::standard(RuntimeError::BreakInCommunications); }));
        ASSERT_EQ(boxes.count(), 2);
        EXPECT_TRUE(boxes.boxes().at(0).prompt.contains(QStringLiteral("bad state")));
        EXPECT_TRUE(boxes.last().prompt.startsWith(QStringLiteral("Error 1001 ")));
        EXPECT_TRUE(Application::deliver([] { return true; }));
    }

    // With the program running, a link failure is the control's to report: demo mode, one break.
    ShellRig rig;
    rig.useSerialLink();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    frmMain* main = rig.start();
    ASSERT_EQ(rig.comm()->BusType(), BUS_TYPE_RS232);
    rig.boxes.clear();
    EXPECT_FALSE(Application::deliver([]() -> bool {
        throw RuntimeError::standard(RuntimeError::BreakInCommunications, QStringLiteral("frmJog"));
    }));
    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(breakReports(rig), 1);
    EXPECT_EQ(main->StatusBarPanelText(1), QStringLiteral("Disconnected"));

    // Any other error is shown and changes nothing.
    rig.boxes.clear();
    EXPECT_FALSE(Application::deliver([]() -> bool { throw RuntimeError::standard(RuntimeError::SubscriptOutOfRange); }));
    ASSERT_EQ(rig.boxes.size(), 1);
    EXPECT_TRUE(rig.boxes.last().prompt.startsWith(QStringLiteral("Error 9 ")));
}
