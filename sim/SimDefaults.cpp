#include "sim/SimDefaults.h"

#include "sim/SimController.h"

namespace {

struct Setting {
    const char* mnemonic;
    const char* value;
};

// Units per second, per second squared and per second cubed.
const Setting kSettings[] = {
    {"VU", "100.0000"},   // maximum speed
    {"VA", "10.0000"},    // speed
    {"AU", "1000.0000"},  // maximum acceleration and deceleration
    {"AC", "100.0000"},   // acceleration
    {"AG", "100.0000"},   // deceleration
    {"JK", "10000.0000"}, // jerk
    {"VB", "1.0000"},     // start/stop speed
    {"OH", "5.0000"},     // home search speed
    {"JH", "10.0000"},    // jog speed, high
    {"JW", "2.0000"},     // jog speed, low
};

} // namespace

void SimDefaults::apply(SimController& controller)
{
    for (int axis = 1; axis <= controller.axisCount(); ++axis) {
        for (const Setting& s : kSettings)
            controller.setValue(axis, s.mnemonic, s.value);
    }
    controller.saveToFlash();
}
