#include "sim/SimController.h"
#include "sim/SimDefaults.h"

#include <gtest/gtest.h>

namespace {

double number(SimController& sim, int axis, const char* mnemonic)
{
    return sim.value(axis, mnemonic).toDouble();
}

// What a jog, a home search and a cycle need to move, on every axis, and kept over a reset.
TEST(SimDefaultsTest, EveryAxisHasSpeedsAccelerationsAndJerkThatSurviveAReset)
{
    SimController sim;
    sim.setAxisCount(3);
    SimDefaults::apply(sim);
    sim.receive("RS\r");
    for (int axis = 1; axis <= 3; ++axis) {
        for (const char* m : {"VU", "VA", "AU", "AC", "AG", "JK", "OH"})
            EXPECT_GT(number(sim, axis, m), 0.0) << axis << m;
        EXPECT_LE(number(sim, axis, "VA"), number(sim, axis, "VU")) << axis;
        EXPECT_LE(number(sim, axis, "AC"), number(sim, axis, "AU")) << axis;
    }
    // Above the axes with a motor, and on a plain simulator, nothing is set.
    EXPECT_EQ(sim.value(4, "VA"), QByteArray("0"));
    EXPECT_EQ(SimController().value(1, "VA"), QByteArray("0"));

    // A free-run jog moves.
    sim.setMoveSteps(20);
    sim.receive("1MO\r1MV+\r");
    sim.step(2);
    EXPECT_GT(sim.position(1), 0.0);
}

} // namespace
