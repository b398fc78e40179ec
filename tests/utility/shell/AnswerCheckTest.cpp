#include "utility/shell/AnswerCheck.h"

#include "library/link/BusType.h"
#include "library/link/KVLComm.h"
#include "tests/support/MsgBoxRecorder.h"
#include "tests/support/ScriptedController.h"
#include "tests/support/ScriptedLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

// The check after a transfer on a serial line that lost the first reply: the second query goes out
// and its answer confirms the controller.
TEST(AnswerCheck, ALostReplyIsAskedForOnceMoreOnTheWire)
{
    MsgBoxRecorder boxes;
    std::atomic<int> asked{0};
    ScriptedController controller([&asked](const QByteArray& line) {
        // The identification at the start is answered, the check's first query is not.
        if (line == "VE?" && ++asked != 2)
            return ScriptedController::Answer{"KVL410 Version 2.0\r\n"};
        return ScriptedController::Answer{};
    });
    ASSERT_TRUE(controller.isOpen());
    std::unique_ptr<KVLComm> comm = openScriptedLink(controller);
    ASSERT_NE(comm, nullptr);

    QString why;
    EXPECT_TRUE(AnswerCheck::controllerAnswers(CommLink(comm.get()), BUS_TYPE_RS232, &why)) << why.toStdString();
    // The start's, the lost one, and the second ask: an identification given up on leaves the
    // line in step, and the second ask takes the identification that comes once none other can.
    EXPECT_EQ(controller.lines().count("VE?"), 3);
    EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
    EXPECT_EQ(boxes.count(), 0);
    qunsetenv("KVL_COM8");
}

} // namespace
