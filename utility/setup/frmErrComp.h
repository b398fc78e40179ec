#pragma once

#include "utility/setup/SetupForm.h"

class AxisOptionRow;
class NumberBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "Error Compensation": the backlash ("BA") and linear ("CO") compensation of each axis with a
// motor. Values are read into the parameter cache when the window opens, edited there, sent on
// Apply or OK; Cancel puts back what was read.
class frmErrComp : public SetupForm {
    Q_OBJECT
public:
    static constexpr int Options = 6;

    frmErrComp();

protected:
    void Form_Load() override;
    void mobjguistate_AxisChange(short NewAxis, short OldAxis) override;

private:
    void ReadCompensation();
    void WriteCompensation();
    void optSelAxis_Click(int Index);
    void cmdApply_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    // The axes the window can show: the controller's, up to its options.
    int axesShown() const;

    AxisOptionRow* optSelAxis = nullptr;
    QLineEdit* txtBacklash = nullptr;
    QLineEdit* txtLinear = nullptr;
    QLabel* lblBacklashUnits = nullptr;
    NumberBox* m_backlash = nullptr;
    NumberBox* m_linear = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    // The axis the boxes show and typed values go to.
    short m_axis = 1;
};
