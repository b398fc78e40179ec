#pragma once

#include "utility/setup/SetupForm.h"

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

// "Linear/Circular Interpolation": axis groups kept by the controller ("HN"), their trajectory
// parameters ("HV", "HA", "HD", "HJ") and coordinated moves ("HL" linear, "HC" circular). A group
// changes how its members move, so the axes' own trajectory parameters are read when the window
// opens and sent back whenever a group is dissolved; closing the window dissolves every group.
class frmInterpolation : public SetupForm {
    Q_OBJECT
public:
    static constexpr int Groups = 3;
    static constexpr int Members = 3;
    static constexpr int Params = 4;

    frmInterpolation();

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private:
    void ReadAxisTrajectories(short Axis);
    void optGroupNum_Click(int Index);
    void cmdGroupAxes_Click();
    void cmdUngroupAxes_Click();
    void cmdParamApply_Click();
    void cmdLinearInterp_Click();
    void cmdCircularInterp_Click();
    // Dissolves group g and sends every axis its own parameters again; with report, one box
    // names what could not be sent.
    void ungroup(int g, bool report);
    void clearGroupBoxes();
    // The axes the window reads and restores: the controller's, up to the cache's.
    int axesRead() const;
    QString group() const { return QString::number(m_group + 1); }
    // The numbers typed in boxes, "0" put into the empty ones, in command form; false (after a
    // message naming the box) when one holds no number.
    bool typedNumbers(const QList<QLineEdit*>& boxes, const QStringList& names, QStringList& numbers);

    QTabWidget* TabStrip1 = nullptr;
    std::array<QRadioButton*, Groups> optGroupNum{};
    std::array<QLineEdit*, Members> txtGroupAxes{};
    std::array<QLineEdit*, Params> txtGroupParam{};
    std::array<QLineEdit*, 3> txtCntrPos{};
    std::array<QLineEdit*, 3> txtTargPos{};
    QPushButton* cmdGroupAxes = nullptr;
    QPushButton* cmdUngroupAxes = nullptr;
    QPushButton* cmdParamApply = nullptr;
    QPushButton* cmdCircularInterp = nullptr;
    QPushButton* cmdLinearInterp = nullptr;
    QPushButton* cmdHelp = nullptr;
    int m_groupCount = 0;
    int m_group = 0;
    // The group the boxes show (-1: none yet), and whether its members went unread and untyped.
    int m_shownGroup = -1;
    bool m_membersUnread = false;
};
