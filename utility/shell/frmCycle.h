#pragma once

#include "utility/shell/PanelHost.h"

#include <QList>
#include <QPointer>
#include <optional>

// Hosts the cycle panel. While a cycle runs, the rest of the program is locked out: the windows
// then open (but the motor-power, stop, position and cycle windows), the main window's menus and
// every toolbar button but stop, enable and position. An error found by the error panel stops the
// cycle; so does a link failure, which also lifts the lock-out, so a bus can be chosen again.
class frmCycle : public PanelHost {
    Q_OBJECT
public:
    frmCycle();

    QObject* KVLCycle1() const { return panel(); }

    // Whether a lock-out is in force, and the windows it holds that are still loaded.
    bool lockedOut() const { return m_disabledForms.has_value(); }
    QList<Form*> disabledForms() const;

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private slots:
    void KVLCycle1_CyclingEvent(bool& Moving);
    void mobjKVLError_ErrorsDetected();
    void KVLComm1_CommErrorEvent(short& ErrorNum);

private:
    void lockOut();
    void liftLockOut();
    void StopCycle();

    QPointer<QObject> mobjKVLError;
    QPointer<QObject> mobjCycling;
    QPointer<QObject> m_comm;
    // Absent while no lock-out is in force.
    std::optional<QList<QPointer<Form>>> m_disabledForms;
};
