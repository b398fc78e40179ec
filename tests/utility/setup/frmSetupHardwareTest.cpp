#include "tests/utility/setup/SetupDesk.h"

#include "library/link/CGuiState.h"
#include "library/link/IMotion.h"
#include "library/link/KVLComm.h"
#include "library/panels/BitOnOff.h"
#include "tests/support/Clicks.h"
#include "tests/support/TestHelpers.h"
#include "utility/setup/SetupForm.h"
#include "utility/shell/Form.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString W = QStringLiteral("frmSetupHardware");

struct HardwareDesk : SetupDesk {
    HardwareDesk(int digital, int analog, const QString& model = QStringLiteral("KVL410"), int axes = 2)
        : SetupDesk(axes, model)
    {
        CGuiState* gui = comm()->GetGuiStateObject();
        gui->setMaxDigitalChannels(short(digital));
        gui->setMaxAnalogChannels(short(analog));
    }
    BitOnOff* bit(char port, int k) { return child<BitOnOff>(W, QStringLiteral("Port%1Bits_%2").arg(QLatin1Char(port)).arg(k)); }
    QRadioButton* opt(const QString& name) { return child<QRadioButton>(W, name); }
    // The lines sent by Apply from "BO" on, up to the first per-axis DAC line.
    QStringList portAndAnalogLines()
    {
        QStringList result;
        for (const QString& line : lines()) {
            if (line.startsWith(QStringLiteral("BO ")) || line.startsWith(QStringLiteral("SB "))
                || line.startsWith(QStringLiteral("AM")))
                result << line;
        }
        return result;
    }
};

} // namespace

TEST(frmSetupHardware, ReadsInOrderAndWritesTheWordsAsTheyWereRead)
{
    PointLocale point;
    HardwareDesk d(24, 2);
    SimController& sim = d.sim();
    sim.setWord(1, "ZB", 0x100);
    sim.setReply(" 1ZH?", "65\r\n");
    sim.setValue(1, "QM", "3");
    sim.setValue(1, "SR", "12.5");
    sim.setWord(1, "ZA", 0x8000); // bit 15 of a four-digit word
    sim.setValue(1, "DO", "0.25");
    sim.setReply(" 2DO?", "0.5"); // no line end
    sim.setValue(0, "AM", "4");
    sim.setReply(" 0RA?", "1.25,2.5\r\n");
    d.dispatch("mnuSetupHardware");
    ASSERT_NE(d.form(W), nullptr);
    const QStringList opening = d.lines();
    const QStringList firstAxis{" 1ZB?\r", " 1QM?\r", " 1ZH?\r", " 1ZS?\r", " 1SR?\r", " 1SL?\r", " 1SN?\r", " 1ZA?\r"};
    EXPECT_EQ(opening.mid(0, 8), firstAxis);
    EXPECT_EQ(opening.mid(16), QStringList({" 0AM?\r", " 0RA?\r", " 1DO?\r", " 2DO?\r", "BO?\r", "SB?\r"}));

    EXPECT_TRUE(d.opt("optAmpMotType_1")->isChecked()) << "type 3 shows as a stepper";
    EXPECT_TRUE(d.opt("optSelectRange_1")->isChecked());
    EXPECT_TRUE(d.opt("optADCGain_1")->isChecked());
    EXPECT_EQ(d.child<QLineEdit>(W, "txtADCStatus_1")->text(), QStringLiteral("2.5"));
    EXPECT_EQ(d.child<QLineEdit>(W, "txtDACOffset_0")->text(), QStringLiteral("0.25"));
    EXPECT_EQ(d.child<QLineEdit>(W, "txtDACOffset_1")->text(), QStringLiteral("0.5"));
    EXPECT_EQ(d.child<QLineEdit>(W, "txtSoftLimitUnits_0")->text(), QStringLiteral("12.5000"));
    EXPECT_TRUE(d.opt("optFeedback_1")->isChecked());
    EXPECT_FALSE(d.child<QGroupBox>(W, "frameStepSetup")->isEnabled()) << "no step output on this model";

    // Visiting the limit box changes nothing; Apply sends back what was read.
    d.type(W, "txtSoftLimitUnits_0", "12.5000");
    d.clearLines();
    d.click(W, "btnHardwareApply");
    const QStringList sent = d.lines();
    EXPECT_TRUE(sent.contains(" 1ZB100\r"));
    EXPECT_TRUE(sent.contains(" 1ZH 65\r"));
    EXPECT_TRUE(sent.contains(" 1SR 12.5\r"));
    EXPECT_TRUE(sent.contains(" 1ZA8000\r"));
    EXPECT_TRUE(sent.contains(" 1QM3\r"));
    EXPECT_EQ(sent.count(" 1DO.25\r") + sent.count(" 1DO0.25\r"), 2) << "both passes send the offset";
    EXPECT_EQ(sent.count(" 2DO0.5\r"), 2);
    EXPECT_TRUE(sent.contains("AM 4\r"));
    EXPECT_TRUE(d.prompts().isEmpty());

    // Choosing "Stepper" for the type-3 axis stores 2.
    d.click(W, "optAmpMotType_2");
    d.click(W, "optAmpMotType_1");
    EXPECT_EQ(dynamic_cast<IMotion*>(d.comm())->MotorType(1), 2);
    d.click(W, "btnHardwareCancel");
    EXPECT_EQ(dynamic_cast<IMotion*>(d.comm())->MotorType(1), 3);
}

TEST(frmSetupHardware, PortsAndAnalogModesGoOutAsChosen)
{
    HardwareDesk d(24, 1, QStringLiteral("KVL7100"));
    d.dispatch("mnuSetupHardware");
    d.clearLines();
    d.click(W, "btnHardwareApply");
    EXPECT_EQ(d.portAndAnalogLines(), QStringList({"BO 00\r", "AM 0\r"}));

    d.click(W, "optPortADirection_1");
    Clicks::click(d.bit('A', 0));
    Clicks::click(d.bit('A', 2));
    d.click(W, "optSelectRange_1");
    d.click(W, "optADCGain_1");
    d.clearLines();
    d.click(W, "btnHardwareApply");
    EXPECT_EQ(d.portAndAnalogLines(), QStringList({"BO 01\r", "SB 0000005\r", "AM 4\r"}));
    EXPECT_TRUE(d.bit('A', 0)->Value()) << "read back from the controller";

    // Ports A and C: A = 0x12 (bits 1, 4), C = 0x03.
    for (int k : {0, 2})
        Clicks::click(d.bit('A', k));
    for (int k : {1, 4})
        Clicks::click(d.bit('A', k));
    d.click(W, "optPortCDirection_1");
    for (int k : {0, 1})
        Clicks::click(d.bit('C', k));
    d.click(W, "optSelectRange_0");
    d.click(W, "optADCGain_0");
    d.clearLines();
    d.click(W, "btnHardwareApply");
    EXPECT_EQ(d.portAndAnalogLines(), QStringList({"BO 05\r", "SB 0030012\r", "AM 7\r"}));
    EXPECT_TRUE(d.bit('C', 1)->Value()) << "port C is shown on this model";
}

TEST(frmSetupHardware, ChannelCountsShortRepliesAndFailedReads)
{
    {
        // Twelve channels: port A whole, half of port B, no port C; short replies read as zeros.
        HardwareDesk d(12, 0);
        d.sim().setReply("SB?", "1H\r\n");
        d.sim().setReply("BO?", "\r\n");
        d.sim().setReply(" 1DO?", QByteArray());
        d.sim().setReply(" 2ZA?", QByteArray());
        d.dispatch("mnuSetupHardware");
        for (int k = 0; k < 8; ++k) {
            EXPECT_TRUE(d.bit('A', k)->Enabled()) << k;
            EXPECT_EQ(d.bit('B', k)->Enabled(), k < 4) << k;
            EXPECT_FALSE(d.bit('C', k)->Enabled()) << k;
        }
        EXPECT_FALSE(d.child<QGroupBox>(W, "framePortCDirection")->isEnabled());
        EXPECT_FALSE(d.child<QGroupBox>(W, "frameSelectRange")->isEnabled());
        EXPECT_FALSE(d.lines().contains(" 0AM?\r"));
        EXPECT_EQ(d.child<QLineEdit>(W, "txtDACOffset_0")->text(), QString());

        d.clearLines();
        d.rig.boxes.clear();
        d.click(W, "btnHardwareOK");
        const QStringList sent = d.lines();
        EXPECT_FALSE(sent.contains("BO 00\r")) << "the directions were never read";
        EXPECT_EQ(sent.filter(QStringLiteral(" 1DO")).size(), 0);
        EXPECT_EQ(sent.filter(QStringLiteral(" 2ZA")).size(), 0);
        EXPECT_TRUE(sent.filter(QStringLiteral("AM")).isEmpty());
        ASSERT_EQ(d.rig.boxes.size(), 1);
        EXPECT_TRUE(d.rig.boxes.at(0).prompt.contains(QStringLiteral("port directions")));
        EXPECT_TRUE(d.rig.boxes.at(0).prompt.contains(QStringLiteral("Axis 2: amplifier word")));
    }
    {
        // No bus: nothing at all is sent; eight axes and a current axis of 8 never index past six.
        HardwareDesk d(0, 0, QStringLiteral("KVL410"), 8);
        d.comm()->GetGuiStateObject()->setCurrentAxis(8);
        d.goDemo();
        d.dispatch("mnuSetupHardware");
        EXPECT_TRUE(d.lines().isEmpty());
        d.comm()->GetGuiStateObject()->setCurrentAxis(7);
        d.click(W, "btnHardwareOK");
        EXPECT_TRUE(d.lines().isEmpty());
    }
    {
        HardwareDesk d(0, 0, QStringLiteral("KVL410"), 8);
        d.comm()->GetGuiStateObject()->setCurrentAxis(8);
        d.dispatch("mnuSetupHardware");
        for (const QString& line : d.lines())
            EXPECT_FALSE(line.startsWith(QStringLiteral(" 7DO")) || line.startsWith(QStringLiteral(" 8DO"))) << line.toStdString();
        EXPECT_TRUE(d.opt("optAmpSelectAxis1_0")->isChecked());
        EXPECT_EQ(d.comm()->GetGuiStateObject()->CurrentAxis(), 1) << "the window shows an axis it has";
        d.click(W, "optAxFeedback_7");
        EXPECT_EQ(d.comm()->GetGuiStateObject()->CurrentAxis(), 1) << "feedback axes 7 and 8 leave the current axis";
    }
}

TEST(frmSetupHardware, ControllerNumbersNoFieldHoldsAreUnreadNotErrors)
{
    // A unit code beyond 16 bits, nine hexadecimal digits, a word beyond 32 bits, an offset
    // beyond a float: the window opens, shows them empty and never writes them back.
    HardwareDesk d(0, 0);
    d.sim().setValue(1, "QM", "2");
    d.sim().setReply(" 1SN?", "40000\r\n");
    d.sim().setReply(" 1ZB?", "123456789H\r\n");
    d.sim().setReply(" 2ZH?", "2147483648\r\n");
    d.sim().setReply(" 1DO?", "1E39\r\n");
    d.dispatch("mnuSetupHardware");
    ASSERT_NE(d.form(W), nullptr);
    EXPECT_TRUE(d.form(W)->Visible());
    EXPECT_TRUE(d.prompts().isEmpty()) << d.prompts().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(d.child<QLineEdit>(W, "txtDACOffset_0")->text(), QString());
    EXPECT_NE(dynamic_cast<IMotion*>(d.comm())->FeedbackConfig(1), -2147483648);

    d.clearLines();
    d.click(W, "btnHardwareOK");
    const QStringList sent = d.lines();
    EXPECT_TRUE(sent.filter(QStringLiteral(" 1SN")).isEmpty());
    EXPECT_TRUE(sent.filter(QStringLiteral(" 1ZB")).isEmpty());
    EXPECT_TRUE(sent.filter(QStringLiteral(" 2ZH")).isEmpty());
    EXPECT_TRUE(sent.filter(QStringLiteral(" 1DO")).isEmpty());
    EXPECT_TRUE(sent.contains(" 1QM2\r")) << "what was read goes back";
    ASSERT_EQ(d.prompts().size(), 1);
    EXPECT_TRUE(d.prompts().at(0).contains(QStringLiteral("Axis 1:")));
    EXPECT_TRUE(d.prompts().at(0).contains(QStringLiteral("Axis 2:")));
}

TEST(frmSetupHardware, AWordNeverReadIsShownAsNoChoiceAndAClickReadsItAgainBeforeChangingIt)
{
    // Every other query answers at once, each axis with a word of its own.
    HardwareDesk d(24, 1, QStringLiteral("KVL7100"));
    SimController& sim = d.sim();
    sim.setWord(1, "ZA", 0x0220);
    sim.setWord(2, "ZA", 0x0480);
    sim.setValue(1, "SN", "3");
    sim.setValue(0, "AM", "4");
    sim.setReply(" 1ZA?", QByteArray());
    sim.setReply(" 1SN?", QByteArray());
    sim.setReply("BO?", QByteArray());
    sim.setReply("SB?", "No data\r\n");
    sim.setReply(" 0AM?", QByteArray());
    d.dispatch("mnuSetupHardware");
    ASSERT_NE(d.form(W), nullptr);
    EXPECT_TRUE(d.prompts().isEmpty());
    // Port bits never read light neither on nor off.
    for (char port : {'A', 'B', 'C'}) {
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(d.bit(port, k)->fillColor(), SetupForm::NeutralLampColor) << port << k;
            EXPECT_FALSE(d.bit(port, k)->Value()) << port << k;
        }
    }
    for (const char* name : {"optAmpInput1_0", "optAmpInput1_1", "optServoDacOutput1_0", "optServoDacOutput1_1",
                             "optPortADirection_0", "optPortADirection_1", "optSelectRange_0", "optSelectRange_1",
                             "optADCGain_0", "optADCGain_1"})
        EXPECT_FALSE(d.opt(QLatin1String(name))->isChecked()) << name << " shows a value never read";
    EXPECT_EQ(d.child<QLabel>(W, "lblLimitUnits_0")->text(), QString()) << "no unit was read";
    d.click(W, "optAmpSelectAxis1_1");
    EXPECT_TRUE(d.opt("optServoDacOutput1_1")->isChecked()) << "axis 2's own word: 0x200 clear";
    EXPECT_TRUE(d.opt("optAmpInput1_1")->isChecked());
    d.click(W, "optAmpSelectAxis1_0");

    // Still lost when asked again: the click is undone, said once, and nothing of it is written.
    d.clearLines();
    d.rig.boxes.clear();
    d.click(W, "optAmpInput1_0");
    d.click(W, "optPortADirection_1");
    d.click(W, "optSelectRange_1");
    QStringList asked = d.lines();
    asked.removeAll(QStringLiteral("VE?\r\n")); // the link putting itself back in step
    EXPECT_EQ(asked, QStringList({" 1ZA?\r", "BO?\r", "SB?\r", " 0AM?\r"}));
    ASSERT_EQ(d.prompts().size(), 3) << d.prompts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(d.prompts().at(0), QStringLiteral("Axis 1's amplifier word could not be read from the controller, so it was not changed."));
    EXPECT_TRUE(d.prompts().at(1).startsWith(QStringLiteral("The digital port setting could not be read")));
    EXPECT_TRUE(d.prompts().at(2).startsWith(QStringLiteral("The analog input mode could not be read")));
    EXPECT_FALSE(d.opt("optAmpInput1_0")->isChecked());
    EXPECT_FALSE(d.opt("optPortADirection_1")->isChecked());
    EXPECT_FALSE(d.opt("optSelectRange_1")->isChecked());
    d.clearLines();
    d.rig.boxes.clear();
    d.click(W, "btnHardwareApply");
    const QStringList sent = d.lines();
    EXPECT_TRUE(sent.filter(QStringLiteral(" 1ZA")).isEmpty()) << sent.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(sent.filter(QStringLiteral("BO ")).isEmpty());
    EXPECT_TRUE(sent.filter(QStringLiteral("SB ")).isEmpty());
    EXPECT_TRUE(sent.filter(QStringLiteral("AM")).isEmpty());
    EXPECT_TRUE(sent.contains(" 2ZA480\r")) << "what was read goes back";

    // Answered when asked again: the rest of the word is the controller's, the chosen part the user's.
    sim.clearReplies();
    sim.setWord(0, "BO", 0x4);
    sim.setWord(0, "SB", 0x030000);
    d.rig.boxes.clear();
    d.click(W, "optAmpInput1_1");
    d.click(W, "optPortADirection_1");
    d.click(W, "optADCGain_0");
    EXPECT_TRUE(d.prompts().isEmpty()) << d.prompts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(d.opt("optServoDacOutput1_0")->isChecked()) << "read again: 0x200 set";
    EXPECT_TRUE(d.opt("optSelectRange_1")->isChecked()) << "read again: mode 4 is bipolar";
    EXPECT_TRUE(d.opt("optPortCDirection_1")->isChecked());
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(d.bit('A', k)->fillColor(), BitOnOff::DefaultOffColor) << k << ": read as off";
        EXPECT_EQ(d.bit('C', k)->fillColor(), k < 2 ? BitOnOff::DefaultOnColor : BitOnOff::DefaultOffColor) << k;
    }
    d.clearLines();
    d.click(W, "btnHardwareApply");
    EXPECT_EQ(d.portAndAnalogLines(), QStringList({"BO 05\r", "SB 0030000\r", "AM 5\r"}));
    EXPECT_TRUE(d.lines().contains(" 1ZA200\r"));
}
