#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <vector>

// Timing shared by the benchmark programs.

// Milliseconds on one monotonic clock, the same for every thread of the program.
inline double benchMsNow()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return double(clock.nsecsElapsed()) / 1e6;
}

// Lets events run for ms in a loop of its own: quitting the application's loop would close the
// main window first.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

// How late the event loop, nested loops included, runs a timer that asks to run every probeMs.
class StallProbe {
public:
    static constexpr int ProbeMs = 10;

    void start()
    {
        m_gaps.clear();
        m_last = benchMsNow();
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = benchMsNow();
            m_gaps.push_back(std::max(0.0, now - m_last - ProbeMs));
            m_last = now;
        });
        m_timer.start(ProbeMs);
    }
    void stop()
    {
        m_timer.stop();
        QObject::disconnect(&m_timer, nullptr, nullptr, nullptr);
    }
    const std::vector<double>& stalls() const { return m_gaps; }

private:
    QTimer m_timer;
    double m_last = 0;
    std::vector<double> m_gaps;
};
