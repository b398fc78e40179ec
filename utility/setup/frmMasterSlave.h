#pragma once

#include "utility/setup/SetupForm.h"

#include <array>

class NumberBox;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Master-Slaving": which axis each axis follows ("SS"), its trajectory mode ("TJ") and its gear
// ratio ("GR"). The window works on a table read when it opens: edits change the table only,
// Apply sends it, and Cancel sends the table as it was read and closes.
class frmMasterSlave : public SetupForm {
    Q_OBJECT
public:
    static constexpr int Axes = 6;
    static constexpr int Modes = 6;

    frmMasterSlave();

protected:
    void Form_Load() override;
    // The window keeps no place of its own.
    void Form_Unload(int& Cancel) override;

private:
    struct Record {
        short master = 0;
        short mode = 0;
        QString ratio; // command text, "." as the decimal point
    };

    void optMstrAxis_Click(int i);
    void chkSlveAxis_Click(int s);
    // The axis's master is known, read again now when it was not; false when it still is not.
    bool masterRead(short axis);
    // Whether the master of axis index i is known (read, set, or the axis has no motor).
    bool masterKnown(int i);
    void optSlvAxis_Click(int k);
    void optSlveMode_Click(int i);
    void cmdAssign_Click();
    void cmdUnassign_Click();
    void cmdReset_Click();
    void cmdHelp_Click();
    // Sends the working table of every present axis in the order its mode asks for.
    void sendTable();
    // Whether axis (1-based) has a motor, asked again; an unanswered query counts as none.
    bool hasMotor(short axis);
    // The axes the window has records for: the controller's, up to six.
    int axesShown() const;
    static void selectNone(QButtonGroup* group);

    std::array<QRadioButton*, Axes> optMstrAxis{};
    std::array<QCheckBox*, Axes> chkSlveAxis{};
    std::array<QRadioButton*, Axes> optSlvAxis{};
    std::array<QRadioButton*, Modes> optSlveMode{};
    QButtonGroup* m_masterGroup = nullptr;
    QButtonGroup* m_slaveAxisGroup = nullptr;
    QButtonGroup* m_modeGroup = nullptr;
    QLineEdit* txtGearRatio = nullptr;
    NumberBox* m_ratio = nullptr;
    QPushButton* cmdAssign = nullptr;
    QPushButton* cmdUnassign = nullptr;
    QPushButton* cmdReset = nullptr;
    QPushButton* cmdHelp = nullptr;

    std::array<Record, Axes> m_loaded{};
    std::array<Record, Axes> m_working{};
    int m_master = -1;    // selected master index
    int m_slaveAxis = -1; // selected slave-mode axis index
};
