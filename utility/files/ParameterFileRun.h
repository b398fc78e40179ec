#pragma once

#include "utility/shell/CommLink.h"
#include "utility/shell/EventWait.h"
#include "utility/shell/LinkOwnerLockOut.h"

#include <QPointer>

class frmMain;

// A restore or a save owns the link while it lets events run between its lines: the main window's
// close is put off until it is over, the menus and the toolbar are out of reach, no window that can
// start motion or write to the controller takes input, and no poll or power watch of the link's
// tick comes between the lines (the watch could even start a reset). All of it is put back when
// the run ends; the tick only if it was on and the link is still open.
class ParameterFileRun {
public:
    explicit ParameterFileRun(frmMain* main);
    ~ParameterFileRun();
    ParameterFileRun(const ParameterFileRun&) = delete;
    ParameterFileRun& operator=(const ParameterFileRun&) = delete;

    CommLink& comm() { return m_comm; }

private:
    EventWait m_waiting;
    QPointer<frmMain> m_main;
    LinkOwnerLockOut m_lockOut;
    CommLink m_comm;
    bool m_ticking = false;
};
