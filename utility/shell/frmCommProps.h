#pragma once

#include "utility/shell/Form.h"

#include <QPointer>
#include <QVector>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace platform {
class SerialControl;
}

// The serial settings dialog: port, speed, framing and handshaking of the link's serial-port
// control, edited in place on that control. A port change takes effect at once (the port is
// closed; Open Port in the bus window opens it again), the rest at OK.
class frmCommProps : public Form {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 6300;  // twips
    static constexpr int DesignHeight = 4200;

    frmCommProps();

    QTabWidget* tabSettings() const { return m_tabSettings; }
    QGroupBox* fraSettings() const { return m_fraSettings; }
    QComboBox* cboPort() const { return m_cboPort; }
    QComboBox* cboSpeed() const { return m_cboSpeed; }
    QComboBox* cboDataBits() const { return m_cboDataBits; }
    QComboBox* cboParity() const { return m_cboParity; }
    QComboBox* cboStopBits() const { return m_cboStopBits; }
    QRadioButton* optFlow(int index) const { return m_optFlow.value(index, nullptr); }
    QLabel* LabelTest() const { return m_labelTest; }
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

    // The handshaking the dialog will apply at OK.
    short PendingHandshaking() const { return m_pendingHandshaking; }

    // Fills the lists and shows the serial control's current values.
    void LoadPropertySettings();

    void optFlow_Click(int Index);
    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Resize();
    void showError(const QString& text);

    QTabWidget* m_tabSettings = nullptr;
    QGroupBox* m_fraSettings = nullptr;
    QGroupBox* m_fraConnection = nullptr;
    QGroupBox* m_fraSpeed = nullptr;
    QGroupBox* m_fraFlow = nullptr;
    QComboBox* m_cboPort = nullptr;
    QComboBox* m_cboSpeed = nullptr;
    QComboBox* m_cboDataBits = nullptr;
    QComboBox* m_cboParity = nullptr;
    QComboBox* m_cboStopBits = nullptr;
    QVector<QRadioButton*> m_optFlow;
    QButtonGroup* m_flowGroup = nullptr;
    QLabel* m_labelTest = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;

    QPointer<QObject> m_comm;
    QPointer<platform::SerialControl> m_serial;
    short m_pendingHandshaking = 0;
};
