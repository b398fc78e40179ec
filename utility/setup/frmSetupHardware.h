#pragma once

#include "utility/setup/SetupForm.h"

#include <array>

class AxisOptionRow;
class BitOnOff;
class NumberBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

// "Setup Hardware": per axis the amplifier and motor-driver signals ("ZA", "QM"), the hardware
// and software travel limits ("ZH", "ZS", "SR", "SL") and the encoder feedback ("ZB"); for the
// whole controller the digital ports ("BO", "SB"), the analog range and gain ("AM") with the
// readings ("RA"), and the servo DAC offsets ("DO"). Everything is read when the window opens,
// edited in the parameter cache, sent on Apply or OK; Cancel puts back what was read.
class frmSetupHardware : public SetupForm {
    Q_OBJECT
public:
    static constexpr int AxisOptions = 6;
    static constexpr int FeedbackOptions = 8;
    static constexpr int Ports = 3;
    static constexpr int PortBits = 8;
    static constexpr int AnalogChannels = 8;
    // The option pairs that each set or clear one bit of a configuration word.
    static constexpr int BitOptions = 11;

    frmSetupHardware();

protected:
    void Form_Load() override;
    void mobjguistate_AxisChange(short NewAxis, short OldAxis) override;

private:
    void ReadHardwareSettings();
    void DoAnalogInput();
    void DoDacIO();
    void DoDigitalIO();
    // haveBits: Bits holds the controller's port bits; otherwise only the enabled states change.
    void SetDigitalIOControls(int Port, const QString& Bits, bool haveBits);
    void showPortDirection(int Port);
    // Reads the ports again when either word was not read; false (and said) when still unread.
    bool readPortsAgain();
    void optPortDirectionChosen(int Port, int Index);
    void portBit_Click(int Port, int Bit);
    void showAnalogMode();
    void analogModeChosen(QRadioButton* chosen);
    void showBitOption(int option, short axis);
    void showWord(int field, short axis);
    short CheckBits(int Port) const;
    void DoAmpio(int Index);
    void DoTravelLimit(int Index);
    void DoFeedBack();
    void EnableStepperControls();
    void DisableStepperControls();
    void ApplyHardwareSettings();
    void disableAnalog();
    void optBit_Click(int option, int index);
    void optAmpMotType_Click(int Index);
    void optPortDirection_Click(int Port);
    void optAmpSelectAxis1_Click(int i);
    void optLimitAxis_Click(int i);
    void optAxFeedback_Click(int i);
    void btnHardwareApply_Click();
    void btnHardwareCancel_Click();
    void btnHardwareOK_Click();
    int axesShown() const;
    int feedbackAxesShown() const;

    QTabWidget* tabSetupAmpIO = nullptr;
    std::array<std::array<QRadioButton*, 2>, BitOptions> m_bitOptions{};
    std::array<QRadioButton*, 3> optAmpMotType{};
    QGroupBox* frameStepSetup = nullptr;
    std::array<QGroupBox*, 3> m_stepperFrames{};
    AxisOptionRow* optAmpSelectAxis1 = nullptr;
    AxisOptionRow* optLimitAxis = nullptr;
    AxisOptionRow* optAxFeedback = nullptr;
    std::array<QLineEdit*, 2> txtSoftLimitUnits{};
    std::array<NumberBox*, 2> m_limitBoxes{};
    std::array<QLabel*, 2> lblLimitUnits{};
    std::array<std::array<QRadioButton*, 2>, Ports> m_portDirection{};
    std::array<QGroupBox*, Ports> m_portDirectionFrames{};
    std::array<QGroupBox*, Ports> m_portBitFrames{};
    std::array<QWidget*, Ports> m_portBitInner{};
    std::array<std::array<BitOnOff*, PortBits>, Ports> m_portBits{};
    std::array<QRadioButton*, 2> optSelectRange{};
    std::array<QRadioButton*, 4> optADCGain{};
    std::array<QLineEdit*, AnalogChannels> txtADCStatus{};
    QWidget* m_analogPage = nullptr;
    std::array<QLineEdit*, AxisOptions> txtDACOffset{};
    std::array<NumberBox*, AxisOptions> m_dacBoxes{};
    QPushButton* btnHardwareApply = nullptr;
    QPushButton* btnHardwareCancel = nullptr;
    QPushButton* btnHardwareOK = nullptr;
    // Per port the direction shown: -1 none (never read), 0 input, 1 output.
    std::array<int, Ports> m_directionShown{-1, -1, -1};
    short m_axis = 1;         // the axis the amplifier and limit tabs show
    short m_feedbackAxis = 1; // the axis the feedback tab shows
};
