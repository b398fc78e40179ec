#pragma once

// The controller initialisation, the bus window and the amplifier-power watch handed to start-up
// and to the menus' commands, as the program's start does, for the life of a test; taken back
// afterwards so later tests find nothing plugged in.
class ControllerHandlers {
public:
    ControllerHandlers();
    ~ControllerHandlers();
    ControllerHandlers(const ControllerHandlers&) = delete;
    ControllerHandlers& operator=(const ControllerHandlers&) = delete;
};
