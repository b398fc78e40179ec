#pragma once

#include "library/link/BusType.h"
#include "tests/support/MsgBoxRecorder.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <memory>
#include <ostream>

// Readable test output for texts (line ends shown as escapes).
void PrintTo(const QString& text, std::ostream* os);

class CGuiState;
class KVLComm;
class QWidget;
class SimController;
class SimDevice;

// A communication control on the simulated controller behind an in-process bus (USB or PCI), opened
// the way hosts open it, for panel tests. The program clock is the manual test clock while the rig
// lives, message boxes are answered and recorded, and the locale is fixed to one with a period.
class PanelTestRig {
public:
    explicit PanelTestRig(BUS_TYPE bus = BUS_TYPE_USB, int maxAxes = 6);
    ~PanelTestRig();
    PanelTestRig(const PanelTestRig&) = delete;
    PanelTestRig& operator=(const PanelTestRig&) = delete;

    KVLComm& comm() { return *m_comm; }
    SimController& sim();
    CGuiState& gui();
    MsgBoxRecorder& boxes() { return m_boxes; }

    // Lines the controller received since the last clear, each with its terminator as sent.
    QStringList lines() const;
    int count(const QString& line) const { return lines().count(line); }
    void clearLines();

    // FormStatus events of the shared CGuiState, in order.
    QList<QPair<short, short>> formEvents;

    // Switches the link to demo mode (no bus, link open), as a failed start leaves it.
    void goDemo();
    // Raises the control's Timer event n times.
    void tick(int n = 1);

    // Mouse input as a user gives it.
    static void press(QWidget* w, int button = 1);
    static void release(QWidget* w, int button = 1);
    static void click(QWidget* w);
    // A click whose release is already queued when the press is handled, as a quick click comes
    // on a busy desktop: whatever lets events run inside the press handles the release first.
    // Events are let run afterwards until both have been handled.
    static void quickClick(QWidget* w);
    // Enter in a box, and moving the focus out of it.
    static void pressEnter(QWidget* w);
    static void leave(QWidget* w);

private:
    MsgBoxRecorder m_boxes;
    std::unique_ptr<SimDevice> m_device;
    std::unique_ptr<KVLComm> m_comm;
};
