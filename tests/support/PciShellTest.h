#pragma once

#include "sim/SimDevice.h"
#include "tests/support/ShellRig.h"
#include "tests/support/StatusWindowsInstalled.h"

#include <gtest/gtest.h>

class SimController;

// A test on the main window started on the simulated PCI board, with the terminal and the status
// windows plugged in: the program clock manual, the link's tick off, boxes answered with their
// first button, the controller's log empty when the test begins.
class PciShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    SimController& sim() { return device.controller(); }

    StatusWindowsInstalled windows;
    ShellRig rig;
    SimDevice device;
};
