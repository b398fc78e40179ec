#pragma once

#include "utility/setup/SetupForm.h"

#include <array>

class AxisOptionRow;
class NumberBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Setup Motor Driver" ("Setup Axorn" on the PCI board): the motor type and the four motor-driver
// settings of each axis ("QM", "QI", "QV", "QT", "QG"). The motor type is only shown; the four
// settings are edited in the parameter cache and sent on Apply or OK. "Update" switches the motors
// off and has the amplifier take its settings.
class frmSetupAxorn : public SetupForm {
    Q_OBJECT
public:
    static constexpr int Options = 6;

    frmSetupAxorn();

protected:
    void Form_Load() override;
    void mobjguistate_AxisChange(short NewAxis, short OldAxis) override;

private:
    void ReadDriverSettings();
    void WriteDriverSettings();
    void optSetAxornAxis_Click(int Index);
    void DoMotorCurrent(short Axis);
    void DoMotorVoltage(short Axis);
    void btnAxornApply_Click();
    void btnAxornOK_Click();
    void btnAxornCancel_Click();
    void btnUpdateAxorn_Click();
    int axesShown() const;
    NumberBox* makeBox(QWidget* parent, const QString& name, int field);

    AxisOptionRow* optSetAxornAxis = nullptr;
    std::array<QRadioButton*, 3> optMotType{};
    QLineEdit* txtMotCur = nullptr;
    QLineEdit* txtVolts = nullptr;
    QLineEdit* txtTachGain = nullptr;
    QLineEdit* txtGearFactor = nullptr;
    std::array<NumberBox*, 5> m_boxes{};
    QPushButton* btnAxornOK = nullptr;
    QPushButton* btnAxornApply = nullptr;
    QPushButton* btnAxornCancel = nullptr;
    QPushButton* btnUpdateAxorn = nullptr;
    short m_axis = 1;
};
