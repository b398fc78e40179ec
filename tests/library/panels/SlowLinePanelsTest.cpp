#include "library/panels/KVLEnableDisable.h"
#include "library/panels/KVLError.h"
#include "library/panels/KVLJog.h"
#include "library/panels/KVLPosition.h"
#include "library/panels/KVLStop.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/link/NumberText.h"
#include "platform/kernel/Clock.h"
#include "tests/support/MsgBoxRecorder.h"
#include "tests/support/PanelTestRig.h"
#include "tests/support/ScriptedController.h"
#include "tests/support/ScriptedLink.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <limits>
#include <memory>
#include <utility>

// The panels polling a controller on a serial line in real time, while the position polls come
// late or not at all: a stop click or a free-run jog release reaches the wire within about one read
// limit, not behind the whole burst of polls, and no motion command follows it.
namespace {

// How the controller treats the polls once the line turns bad: position replies late, past the
// read limit, or never; every query but the identification unanswered; or nothing answered.
enum class Polls { Late, PastTheLimit, Unanswered, OnlyIdentification, Silent };

// A stop line in well under three times what one read limit and a cut burst take.
constexpr qint64 kStopBoundMs = 3 * 1300;

class SlowLinePanels : public ::testing::Test {
protected:
    void start(Polls polls)
    {
        controller = std::make_unique<ScriptedController>([this, polls](const QByteArray& line) {
            using Answer = ScriptedController::Answer;
            // A controller gone silent still takes commands, and answers nothing.
            if (slow && polls == Polls::Silent)
                return Answer{};
            if (slow && polls == Polls::OnlyIdentification && line != "VE?")
                return Answer{};
            if (line == "VE?")
                return Answer{"KVL410 Version 2.0\r\n"};
            if (line.endsWith("TP")) {
                // Each axis has a position of its own, so a shifted reply shows.
                const QByteArray position = line.left(1) + "000.0000\r\n";
                if (!slow)
                    return Answer{position};
                if (polls == Polls::Unanswered)
                    return Answer{};
                return Answer{position, polls == Polls::Late ? 700 : 1500};
            }
            if (line == "TB")
                return Answer{"0, 0, NO ERROR\r\n"};
            if (line.endsWith('?'))
                return Answer{"1\r\n"};
            return Answer{};
        });
        ASSERT_TRUE(controller->isOpen());
        comm = openScriptedLink(*controller);
        ASSERT_NE(comm, nullptr);
        comm->GetGuiStateObject()->setMaxAxes(4);
        comm->GetGuiStateObject()->setMaxFeedbackAxes(4);
        for (PanelBase* panel : std::initializer_list<PanelBase*>{&position, &power, &errors, &stop, &jog}) {
            panel->show();
            panel->setCommControl(comm.get());
        }
        jog.findChild<QLineEdit*>(QStringLiteral("txtSpeed_0"))->setText(QStringLiteral("2"));
    }
    void TearDown() override
    {
        if (comm)
            comm->setTimerEnabled(false);
        for (PanelBase* panel : std::initializer_list<PanelBase*>{&position, &power, &errors, &stop, &jog})
            panel->setCommControl(nullptr);
        comm.reset();
        controller.reset();
        qunsetenv("KVL_COM8");
    }

    // Whether the controller has the line, once the host thread has had time to pass it on.
    bool heard(const QByteArray& line)
    {
        return platform::Clock::pumpUntil([&] { return controller->receivedAt(line) >= 0; }, 3000);
    }

    // Polls start, and action runs as a user's input would arrive atMs later: once the event loop
    // is free. Returns how long after that the line reached the controller.
    qint64 actWhilePolling(int atMs, QWidget* target, const std::function<void(QWidget*)>& action,
                           const QByteArray& line)
    {
        slow = true;
        comm->setInterval(50);
        comm->setTimerEnabled(true);
        const qint64 actAt = ScriptedController::clockMs() + atMs;
        QTimer::singleShot(atMs, target, [target, action] { action(target); });
        platform::Clock::pumpUntil([&] { return controller->receivedAt(line) >= 0; }, 2 * int(kStopBoundMs));
        comm->setTimerEnabled(false);
        slow = false;
        const qint64 at = controller->receivedAt(line);
        return at < 0 ? std::numeric_limits<qint64>::max() : at - actAt;
    }

    MsgBoxRecorder boxes;
    std::atomic<bool> slow{false};
    std::unique_ptr<ScriptedController> controller;
    std::unique_ptr<KVLComm> comm;
    KVLPosition position;
    KVLEnableDisable power;
    KVLError errors;
    KVLStop stop;
    KVLJog jog;
};

// Polls answered late, within the read limit or past it (then each answer holds up the
// controller's next ones): the stop goes out within about a read limit all the same, and no
// read-out shows another query's reply.
TEST_F(SlowLinePanels, AStopClickGoesOutWithinAReadLimitOfLatePolls)
{
    for (const auto& [polls, atMs] : {std::pair{Polls::Late, 300}, std::pair{Polls::Late, 1100},
                                      std::pair{Polls::Late, 1700}, std::pair{Polls::PastTheLimit, 300},
                                      std::pair{Polls::PastTheLimit, 1700}}) {
        SCOPED_TRACE(polls == Polls::Late ? "late" : "past the limit");
        start(polls);
        QWidget* button = stop.findChild<QPushButton*>(QStringLiteral("btnEStop"));
        const qint64 latency = actWhilePolling(atMs, button, [](QWidget* w) { PanelTestRig::click(w); }, "0ST");
        EXPECT_LT(latency, kStopBoundMs) << "clicked " << atMs << " ms into the polls";
        RecordProperty(("StopLatencyMs" + std::to_string(int(polls)) + "_" + std::to_string(atMs)).c_str(),
                       int(std::min<qint64>(latency, 1 << 30)));
        // Late polls are still in step: a read-out shows what the controller sent, or the one it
        // read when it was bound, before its row's turn came.
        for (int row = 0; row < 4; ++row) {
            const QString shown = position.findChild<QLabel*>(QStringLiteral("numAxisPos_%1").arg(row))->text();
            const double own = (row + 1) * 1000.0;
            EXPECT_TRUE(shown == QStringLiteral("%1.0000").arg(int(own)) || shown == NumberText::displayText(own, 3))
                << "row " << row << ": " << shown.toStdString();
        }
        EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
        EXPECT_EQ(boxes.count(), 0);
        TearDown();
    }
}

TEST_F(SlowLinePanels, AJogReleaseStopsTheAxisWithinAReadLimitOfUnansweredPolls)
{
    for (const int atMs : {300, 1100, 1700}) {
        start(Polls::Unanswered);
        QWidget* plusX = jog.findChild<QWidget*>(QStringLiteral("btnJog_1"));
        PanelTestRig::press(plusX);
        ASSERT_TRUE(heard("1MV+"));
        const qint64 latency =
            actWhilePolling(atMs, plusX, [](QWidget* w) { PanelTestRig::release(w); }, "1ST");
        EXPECT_LT(latency, kStopBoundMs) << "released " << atMs << " ms into the polls";
        const QList<QByteArray> lines = controller->lines();
        EXPECT_LT(lines.lastIndexOf("1MV+"), lines.indexOf("1ST")) << "no move after the stop";
        TearDown();
    }
}

// A jog held while the controller stops answering: the link breaks, and the axis gets its stop on
// the port before the link is given up. A controller that answers only its identification, or
// one gone silent while it still takes commands: the held axis is stopped when the link breaks,
// and nothing moves it after.
TEST_F(SlowLinePanels, AHeldJogIsStoppedBeforeABrokenLinkIsGivenUp)
{
    for (const Polls polls : {Polls::OnlyIdentification, Polls::Silent}) {
        SCOPED_TRACE(polls == Polls::Silent ? "silent" : "only the identification answered");
        slow = false;
        boxes.clear();
        start(polls);
        QWidget* plusX = jog.findChild<QWidget*>(QStringLiteral("btnJog_1"));
        PanelTestRig::press(plusX);
        ASSERT_TRUE(heard("1MV+"));
        slow = true;
        comm->setInterval(50);
        comm->setTimerEnabled(true);
        platform::Clock::pumpUntil([&] { return comm->BusType() == BUS_TYPE_NONE; }, 3 * 5000);
        EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
        EXPECT_TRUE(heard("1ST")) << "the held axis was stopped";
        EXPECT_EQ(boxes.count(), 1);
        PanelTestRig::release(plusX);
        platform::Clock::pumpFor(100);
        const QList<QByteArray> lines = controller->lines();
        EXPECT_EQ(lines.count("1ST"), 1);
        EXPECT_EQ(lines.lastIndexOf("1MV+"), lines.indexOf("1MV+")) << "no motion after the stop";
        TearDown();
    }
}

} // namespace
