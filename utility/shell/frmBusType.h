#pragma once

#include "utility/shell/Form.h"

#include <QPointer>
#include <QVector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

// The bus window: the user picks demo mode, PCI, GPIB, RS-232, a USB device or a USB virtual COM
// port, and the device or port, and Open Port re-opens the link on that choice and initialises
// the controller. The main window's tick stops while the window is open.
class frmBusType : public Form {
    Q_OBJECT
public:
    static constexpr int BusChoices = 6;
    static constexpr int DesignWidth = 5050;  // twips
    static constexpr int DesignHeight = 3800;

    frmBusType();

    QGroupBox* Frame1() const { return m_frame1; }
    QRadioButton* optBusType(int index) const { return m_optBusType.value(index, nullptr); }
    QComboBox* cboDeviceID() const { return m_cboDeviceID; }
    QLabel* lblDeviceID() const { return m_lblDeviceID; }
    QPushButton* cmdApply() const { return m_cmdApply; }
    QPushButton* cmdRS232Setup() const { return m_cmdRS232Setup; }
    QPushButton* cmdExit() const { return m_cmdExit; }
    QCheckBox* chkStartup() const { return m_chkStartup; }

    // The bus type the chosen option stands for (0 to 4).
    short PendingBusType() const { return m_pendingBusType; }

    // The selected option, or -1 when none is.
    int selectedOption() const;

    void optBusType_Click(int Index);
    void cmdApply_Click();
    void cmdRS232Setup_Click();
    void cmdExit_Click();
    void chkStartup_Click();

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private:
    // Selects an option from code and runs its handler, as a selection by the user does; an index
    // outside the options clears the selection.
    void selectOption(int index);
    // Puts a list entry on the list, or no entry when the index lies outside it.
    void selectEntry(int index);
    // Every visible child window but this one goes, so the window stays open across Open Port.
    void closeOtherChildForms();

    QGroupBox* m_frame1 = nullptr;
    QVector<QRadioButton*> m_optBusType;
    QButtonGroup* m_group = nullptr;
    QComboBox* m_cboDeviceID = nullptr;
    QLabel* m_lblDeviceID = nullptr;
    QLabel* m_label = nullptr;
    QPushButton* m_cmdApply = nullptr;
    QPushButton* m_cmdRS232Setup = nullptr;
    QPushButton* m_cmdExit = nullptr;
    QCheckBox* m_chkStartup = nullptr;

    QPointer<QObject> m_comm;
    short m_pendingBusType = 0;
    bool m_tickWasOn = false;
};
