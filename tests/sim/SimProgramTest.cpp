#include "sim/SimController.h"

#include <QByteArray>

#include <gtest/gtest.h>

namespace {

QByteArray ask(SimController& sim, const QByteArray& line)
{
    sim.receive(line);
    return sim.takeAllOutput();
}

TEST(SimProgramTest, ProgramsAreStoredNotRunAndListedUpToEnd)
{
    SimController sim;
    EXPECT_EQ(ask(sim, "LP\r"), QByteArray("\r\nEND"));

    ask(sim, "2EP\r");
    EXPECT_EQ(ask(sim, "1PA10\r"), QByteArray());
    EXPECT_EQ(ask(sim, "1TP?\r"), QByteArray()) << "queries are stored too";
    EXPECT_EQ(ask(sim, "WT100\r"), QByteArray());
    ask(sim, "QP\r");
    EXPECT_EQ(sim.position(1), 0.0);
    EXPECT_EQ(sim.program(2), (QList<QByteArray>{"1PA10", "1TP?", "WT100"}));
    ask(sim, "EP\r");
    ask(sim, "3MO\r");
    ask(sim, "QP\r");
    EXPECT_FALSE(sim.motorOn(3));

    // Every program opened by its entry line and closed by QP, each line opened by CR LF.
    const QByteArray listing = "\r\n1EP\r\n3MO\r\nQP\r\n2EP\r\n1PA10\r\n1TP?\r\nWT100\r\nQP\r\nEND";
    sim.receive("LP", true); // one bus write, no line end
    EXPECT_EQ(sim.takeAllOutput(), listing);
    EXPECT_EQ(ask(sim, "lp\r"), listing);
    // Entering a program again defines it anew; a reset keeps the programs.
    ask(sim, "1EP\r");
    ask(sim, "QP\r");
    ask(sim, "RS\r");
    EXPECT_EQ(ask(sim, "LP\r"), QByteArray("\r\n1EP\r\nQP\r\n2EP\r\n1PA10\r\n1TP?\r\nWT100\r\nQP\r\nEND"));
}

TEST(SimProgramTest, HardwareStatusAndErrorsAnswerWithoutQuestionMark)
{
    SimController sim;
    sim.setHardwareStatus(0x80000001u, 0x101u);
    EXPECT_EQ(ask(sim, "PH\r"), QByteArray("80000001H, 101H\r\n"));
    sim.pushError(7, "PARAMETER OUT OF RANGE");
    EXPECT_TRUE(ask(sim, "TB\r").endsWith(", PARAMETER OUT OF RANGE\r\n"));
    EXPECT_TRUE(ask(sim, "TB\r").startsWith("0, "));
}

} // namespace
