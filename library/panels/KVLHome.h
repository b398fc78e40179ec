#pragma once

#include "library/panels/PanelBase.h"

#include <QVector>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Starts a home search on one axis in one of seven modes at a set speed, and polls the axis's
// motion-done flag on every second tick until the search ends. Its form identifier is 2; while a
// search runs the cycle (1) and jog (4) panels are locked. The axis options follow the user
// interface's current axis both ways.
//
// A search is polled on the axis it was started on, whatever the selection does meanwhile. No
// command goes to axis 0: with no axis chosen (no axis carries a motor) Start, the speed box and
// the refresh send nothing. A second Start while a search runs is refused.
//
// A speed, mode or unit whose read went unanswered is shown as not read (an empty box, no mode,
// the "units" caption): the speed box sends nothing until a speed is typed, and Start reads an
// unread mode again and, when that fails too, says so and sends nothing.
class KVLHome : public PanelBase {
    Q_OBJECT
public:
    explicit KVLHome(QWidget* parent = nullptr);

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;

protected:
    void setUp() override;
    void onTimer() override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildControls();
    void InitializeAxes();
    void RefreshHomeParams();
    // "OM?" of the axis into the mode box, which is left with no selection when the reply holds
    // no mode it lists (Unread).
    Read readMode(int axis);
    void optSelectAxis_Click(int index);
    void btnStart_Click();
    // Cleans the speed box and sends its value. True when an Enter key is to be consumed.
    bool txtSpeed_Commit();

    QGroupBox* Frame1 = nullptr;
    QGroupBox* framSelect = nullptr;
    QVector<QRadioButton*> optSelectAxis;
    QPushButton* btnStart = nullptr;
    QGroupBox* framSpeed = nullptr;
    QLineEdit* txtSpeed = nullptr;
    QLabel* lblUnits = nullptr;
    QComboBox* cboHomeMode = nullptr;
    QLabel* lblMode = nullptr;

    int m_Axis = 0;
    bool m_Homing = false;
    // The axis the running search was started on.
    int m_homingAxis = 0;
    bool m_starting = false;
    // The speed box's read went unanswered and nothing has been typed since.
    bool m_speedUnread = false;
    MotorTable m_MotorPresent{};
    TickCounter m_ticks{2};
};
