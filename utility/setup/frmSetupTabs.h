#pragma once

#include "utility/setup/SetupForm.h"

#include <QVector>
#include <array>

class AxisOptionRow;
class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QTabWidget;

// "Setup Faults": per axis and fault source, whether the controller checks the fault, switches
// the motor off and aborts motion on it, and two controller-wide options (the 100-pin interlock
// check and the protection of the critical settings). Edits go into the cache's configuration
// words; Apply and OK send every axis's configuration, Cancel puts the window's words back as
// they were at opening.
class frmSetupTabs : public SetupForm {
    Q_OBJECT
public:
    static constexpr int Pages = 3;   // the three fault pages; the fourth is "System"
    static constexpr int Sources = 6; // fault sources per page
    static constexpr int Options = 6; // axis options per page

    frmSetupTabs();

    QTabWidget* TabStrip1() const { return m_tabStrip; }
    AxisOptionRow* axisRow(int page) const { return m_rows[page]; }
    QCheckBox* checkBox(int page, int source) const { return m_checks[page][source]; }

    void btnApplyConfig_Click();
    void btnTabsOK_Click();
    void cmdCancel_Click();

protected:
    void Form_Load() override;
    void mobjguistate_AxisChange(short NewAxis, short OldAxis) override;

private:
    void optAxis_Click(int page, int Index);
    void chkEvents_Click(int page, int source);
    // The system options: one bit of the controller-wide word.
    void setSystemBit(int bit, bool on);
    void ShowSystemConfig();
    void showPage(int page);
    void enableSystemOptions();
    // Reads the configuration of an axis; false when the window went away.
    bool readConfigs(short axis);
    // Sends the configuration of every axis; false when the window went away.
    bool writeConfigs();
    // Axes read and written: the controller's, within the cache.
    static int configAxes();

    QTabWidget* m_tabStrip = nullptr;
    std::array<AxisOptionRow*, Pages> m_rows{};
    std::array<std::array<QCheckBox*, Sources>, Pages> m_checks{};
    QGroupBox* framInterlock = nullptr;
    QGroupBox* framCritical = nullptr;
    std::array<QRadioButton*, 2> optInterlock{};
    std::array<QRadioButton*, 2> optCritical{};
    QPushButton* btnApplyConfig = nullptr;
    QPushButton* btnTabsOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    short m_openingAxis = 1;
};
