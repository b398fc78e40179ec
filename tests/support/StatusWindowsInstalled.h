#pragma once

// The command terminal and the status and information windows plugged into the menus' commands,
// as the program's start does, for the life of a test; taken out again afterwards.
class StatusWindowsInstalled {
public:
    StatusWindowsInstalled();
    ~StatusWindowsInstalled();
    StatusWindowsInstalled(const StatusWindowsInstalled&) = delete;
    StatusWindowsInstalled& operator=(const StatusWindowsInstalled&) = delete;
};
