#pragma once

#include "utility/setup/SetupForm.h"

#include <QVector>
#include <array>

class AxisOptionRow;
class NumberBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Setup Resolution": per axis the displacement units and the encoder resolution, and for a
// stepper the full-step resolution, the micro-step factor and whether it uses encoder feedback.
// Edits go into the cache of the axis shown; Apply sends the units group of every motor axis and
// the units and resolution of the feedback-only axes, and offers to re-initialise the amplifier of
// the axes whose micro-step factor changed. Cancel puts the window's values back.
class frmSetupUnits : public SetupForm {
    Q_OBJECT
public:
    static constexpr int Options = 8;

    frmSetupUnits();

    AxisOptionRow* axisRow() const { return m_row; }
    QComboBox* unitsList() const { return cboSelectUnits; }

    // The list position of a units code, or -1 when the list has no item for it (8, or outside
    // 0..11); and the code of a list position.
    static int positionOfCode(int code);
    static int codeOfPosition(int position);

    void btnResApply_Click();
    void btnResOk_Click();
    void btnResCancel_Click();

protected:
    void Form_Load() override;
    void mobjguistate_AxisChange(short NewAxis, short OldAxis) override;

private:
    // Unknown: a motor axis whose motor type was not read, so neither its kind nor which of its
    // values apply is known.
    enum class Role { NoMotor, Servo, Stepper, FeedbackOnly, Unknown };

    void optUnitSelectAxis_Click(int Index);
    void cboSelectUnits_Click(int position);
    void optFeedback_Click(int Index);
    void ShowResolution();
    // Shows value in box when the shown axis's field is known, else leaves the box empty.
    void showKnown(NumberBox* box, int field, double value);
    void showUnitName();
    void btnUpdateAxorn_Click();
    // The load's reads; false when the window went away.
    bool readAxis(short axis);
    bool ReadUnitsFromController(short axis);
    Role roleOf(int axis);

    AxisOptionRow* m_row = nullptr;
    QGroupBox* frameSelectAxis = nullptr;
    QGroupBox* frameDefineResolution = nullptr;
    QLineEdit* txtDefineResolution = nullptr;
    QComboBox* cboSelectUnits = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblUnits = nullptr;
    QGroupBox* framStepper = nullptr;
    QLabel* lblFullStep = nullptr;
    QLineEdit* txtStepRes = nullptr;
    QLabel* lblFactor = nullptr;
    QLineEdit* txtMicroStep = nullptr;
    QLabel* lblFeedback = nullptr;
    std::array<QRadioButton*, 2> optFeedback{};
    QPushButton* btnResOk = nullptr;
    QPushButton* btnResCancel = nullptr;
    QPushButton* btnResApply = nullptr;
    QPushButton* btnUpdateAxorn = nullptr;
    NumberBox* m_resolution = nullptr;
    NumberBox* m_stepRes = nullptr;
    NumberBox* m_microStep = nullptr;

    // The axis the boxes show and typed values go to; 0 while none is shown.
    short m_axis = 0;
    // Per cached axis, the micro-step factor the amplifier was last initialised with.
    std::array<qint32, ReadMarks::Axes> m_savedMicrostep{};
    // Bit axis - 1: that axis's micro-step factor changed since.
    quint32 m_microstepMask = 0;
};
