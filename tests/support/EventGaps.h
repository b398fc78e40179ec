#pragma once

#include <QTimer>
#include <QtGlobal>

// The longest the program clock moved on without events running, measured by a timer that runs
// on every pass of the event loop. With the manual clock a wait that blocks (a port, a lock)
// moves the clock without events, and a wait that lets them run moves it a step at a time, so
// the figure does not depend on how busy the machine is.
class EventGaps {
public:
    EventGaps();
    void start();
    void stop();
    qint64 longest() const { return m_longest; }

private:
    void pass();

    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    bool m_running = false;
};
