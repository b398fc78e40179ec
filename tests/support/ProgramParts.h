#pragma once

#include "utility/shell/CommandDispatcher.h"

// Every window, procedure and handler the program plugs in at start, plugged in for the life of
// a test (as the program's own start does it, so windows added later are there too); what was
// plugged in before is put back afterwards, so later tests find the dispatcher as they left it.
// The start-up handlers are taken back by ShellRig.
class ProgramParts {
public:
    ProgramParts();
    ~ProgramParts();
    ProgramParts(const ProgramParts&) = delete;
    ProgramParts& operator=(const ProgramParts&) = delete;

private:
    CommandDispatcher::PlugIns m_before;
};
