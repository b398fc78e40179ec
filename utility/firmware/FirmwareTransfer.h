#pragma once

#include "utility/shell/CommLink.h"

#include <QByteArray>
#include <QString>

#include <functional>

// The firmware download's exchanges with the controller over the command link, apart from the
// window that shows them: the download command, the wait for the erase, the image's lines and the
// wait for their completion. Every wait has a limit and lets events run: on the serial port no
// line is written before the port can take it and a reply is read only once it has come, so the
// program paints and the stop window takes its click throughout. Every send is checked; a step
// that fails says why in failure().
class FirmwareTransfer {
public:
    // How long the controller may take, on the program clock.
    static constexpr int EraseLimitMs = 120000; // the "Ready" after the download command
    static constexpr int DoneLimitMs = 60000;   // the "Done" after the last line

    FirmwareTransfer() = default;
    // On the link the download started on (its bus): a link that has gone, closed or fallen to
    // another bus fails every later step.
    FirmwareTransfer(CommLink comm, int bus);

    // What the window shows as the download goes: the erase has begun, the lines begin, and the
    // share of the image sent (percent) after each line.
    std::function<void()> erasing;
    std::function<void()> sendingLines;
    std::function<void(int percent)> progress;

    // The command, the erase wait ("Ready": at the reply's start when readyAtStart, else anywhere),
    // the image's lines (each with CR added, a line holding ETX bare when etxRule) and the wait
    // for "Done". False at the first step that failed.
    bool downloadLines(const QByteArray& image, const QString& command, bool readyAtStart, bool etxRule);
    // Reads replies until one holds the word (at its start, or anywhere), a read every stepMs
    // after a pause of stepMs (on the serial port, once a line has come); the reply as it stands
    // is tested first. Only the limit, or a link that went away, ends it.
    bool waitFor(QString& reply, const QString& word, bool atStart, int stepMs, int limitMs);
    // Bytes as they are, once the port can take them; the send's status.
    int sendBytes(const QByteArray& bytes);
    // The send's status was 0 and the link is still usable; otherwise the failure names what.
    bool checked(int status, const QString& what);
    // The link the download started on, still open: a link that failed has fallen back to demo
    // mode, where sends report success without reaching anything.
    bool linkUsable();
    // Lets events run for ms (the pacing the controller needs), then linkUsable().
    bool pause(int ms);

    QString failure() const { return m_failure; }
    void setFailure(const QString& why) { m_failure = why; }

private:
    CommLink m_comm;
    int m_bus = 0;
    QString m_failure;
};
