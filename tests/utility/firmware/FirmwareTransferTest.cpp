#include "tests/support/EventGaps.h"
#include "tests/support/ScriptedController.h"
#include "tests/support/ScriptedLink.h"

#include "library/link/BusType.h"
#include "library/link/KVLComm.h"
#include "platform/kernel/Clock.h"
#include "utility/firmware/FirmwareTransfer.h"

#include <QScopeGuard>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using platform::Clock;

namespace {

// The download's exchanges without a window, on a serial line whose controller takes characters
// at 19200 baud and dribbles its "Done": every line goes out as the image holds it (each ended
// by CR, the ETX line too, as the FPGA image's lines are), the progress reaches the end, and
// the wait for the dribbled answer lets events run. A link closed part way fails the next line,
// saying so, and nothing more is sent.
TEST(FirmwareTransferTest, LinesGoOutPacedAndTheWaitsLetEventsRun)
{
    ScriptedController controller([](const QByteArray& line) {
        if (line == "VE?")
            return ScriptedController::Answer{"KVL400 Version 2.0\r\n"};
        if (line == "Download 400")
            return ScriptedController::Answer{"Ready\r\n", 300};
        if (line.contains('\x03'))
            return ScriptedController::Answer{"Done\r\n", 0, 150};
        return ScriptedController::Answer{};
    });
    ASSERT_TRUE(controller.isOpen());
    controller.setReadBaud(19200);
    std::unique_ptr<KVLComm> comm = openScriptedLink(controller);
    ASSERT_NE(comm, nullptr);
    const auto done = qScopeGuard([] {
        Clock::useRealClock();
        qunsetenv("KVL_COM8");
    });
    // The program clock keeps pace with the line.
    Clock::useManualClock(Clock::tickMs(), 10);

    QByteArray image("\x02\r\n");
    QList<QByteArray> expected{"VE?", "Download 400", "\x02"};
    for (int i = 0; i < 60; ++i) {
        const QByteArray record = "S214" + QByteArray::number(i).rightJustified(6, '0') + QByteArray(34, 'B');
        image += record + "\r\n";
        expected << record;
    }
    image += "\x03\r\n";
    expected << "\x03";

    FirmwareTransfer transfer(CommLink(comm.get()), BUS_TYPE_RS232);
    QList<int> steps;
    transfer.erasing = [&] { steps << -1; };
    transfer.progress = [&](int percent) { steps << percent; };
    EventGaps gaps;
    gaps.start();
    EXPECT_TRUE(transfer.downloadLines(image, QStringLiteral("Download 400\r"), true, false))
        << transfer.failure().toStdString();
    gaps.stop();
    EXPECT_LT(gaps.longest(), 500);
    EXPECT_EQ(controller.lines(), expected);
    ASSERT_FALSE(steps.isEmpty());
    EXPECT_EQ(steps.first(), -1);
    EXPECT_GE(steps.last(), 90); // the share of the image's bytes, line ends aside
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));

    // The link closes half way: no line is sent after it, and the failure says which send failed.
    FirmwareTransfer cut(CommLink(comm.get()), BUS_TYPE_RS232);
    int shown = 0;
    cut.progress = [&](int percent) {
        ++shown;
        if (percent >= 50 && comm->IsOpen())
            comm->KVLClose();
    };
    EXPECT_FALSE(cut.downloadLines(image, QStringLiteral("Download 400\r"), true, false));
    EXPECT_EQ(cut.failure(), QStringLiteral("Sending a line of the image to the controller failed (status -1)."));
    // The close drops what the port had not yet handed on: the last line shown may not arrive.
    EXPECT_LE(controller.lines().size(), expected.size() + 1 + shown);
    EXPECT_GE(controller.lines().size(), expected.size() + shown);
    EXPECT_LT(shown, 62);
}

} // namespace
