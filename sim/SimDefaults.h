#pragma once

class SimController;

// The settings of a controller set up for a typical stage: non-zero speeds, accelerations and jerk
// on every axis, so a jog, a home search and a cycle on a fresh simulator move. The simulated
// controller itself answers "0" for anything never set (tests rely on that); kvlsim applies these.
class SimDefaults {
public:
    // Stores the settings on axes 1 to the controller's axis count and saves them as the power-on
    // settings, so a reset keeps them.
    static void apply(SimController& controller);
};
