#include "tests/support/PciShellTest.h"
#include "tests/support/ShellRig.h"
#include "tests/support/StatusWindowsInstalled.h"

#include "library/link/BusType.h"
#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "platform/drivers/PciDriver.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "sim/SimDevice.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/Form.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmMain.h"
#include "utility/status/frmADC.h"
#include "utility/status/frmAbout.h"
#include "utility/status/frmHardwareStatus.h"
#include "utility/status/frmTest.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using platform::Clock;

namespace {

// The main window on the simulated PCI board, the link's tick off, the logs empty.
class StatusOnPci : public PciShellTest {
protected:
    // What reached the controller, without the error panel's own polls.
    QList<QByteArray> sent(bool raw = false)
    {
        QList<QByteArray> result;
        for (const QByteArray& line : raw ? sim().rawLines() : sim().lines()) {
            if (!line.startsWith("TB"))
                result << line;
        }
        return result;
    }
    int count(const QByteArray& line) { return int(sent().count(line)); }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            emit rig.comm()->Timer();
    }

    frmHardwareStatus* openStatus()
    {
        rig.main()->MenuDispatch(QStringLiteral("mnuStatusHardware"));
        return dynamic_cast<frmHardwareStatus*>(Form::loadedForm(QStringLiteral("frmHardwareStatus")));
    }

};

// "H" or "L" for every LED of the window, by object name.
QMap<QString, QString> leds(const Form* form)
{
    QMap<QString, QString> states;
    for (QObject* child : form->findChildren<QObject*>(QRegularExpression(QStringLiteral("^LEDHL[12]_\\d+$")))) {
        if (auto* label = child->findChild<QLabel*>(QStringLiteral("Label1")))
            states.insert(child->objectName(), label->text());
    }
    return states;
}

// The LEDs that are on.
QStringList lit(const Form* form)
{
    QStringList on;
    const auto states = leds(form);
    for (auto it = states.cbegin(); it != states.cend(); ++it) {
        if (it.value() == QLatin1String("H"))
            on << it.key();
    }
    return on;
}

TEST_F(StatusOnPci, StatusWordsLightTheirLedsByBit)
{
    KvlXGlobal::gModel = QStringLiteral("KVL7100");
    sim().setHardwareStatus(0x80000001u, 0x0101u);
    frmHardwareStatus* status = openStatus();
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->windowTitle(), QStringLiteral("KVL7100 Hardware Status"));
    EXPECT_EQ(sent(), QList<QByteArray>{"PH"});
    // Word 1 has LEDs for bits 0-5, 8-13, 16-21, 27, 28 and 31; word 2 for 0-5 and 8-13.
    EXPECT_EQ(leds(status).size(), 3 * 6 + 3 + 2 * 6);
    EXPECT_EQ(lit(status), (QStringList{"LEDHL1_0", "LEDHL1_31", "LEDHL2_0", "LEDHL2_8"}));
    EXPECT_EQ(status->findChild<QLabel*>(QStringLiteral("Label14"))->text(), QStringLiteral("100-pin E-Stop"));
    EXPECT_EQ(status->findChild<QLabel*>(QStringLiteral("Label16"))->text(), QStringLiteral("Aux I/O E-Stop"));
    EXPECT_FALSE(status->findChild<QLabel*>(QStringLiteral("Label17"))->isHidden());
    EXPECT_FALSE(status->findChild<QWidget*>(QStringLiteral("LEDHL1_31"))->isHidden());

    // Every tenth tick reads again. Bits without an LED change nothing; a four-digit word is
    // unsigned, so 8000H is bit 15 alone and no amplifier fault.
    sim().clearLog();
    sim().setHardwareStatus(0x8000u | 0xC0u | 0x3u << 27, 0x80C0u | 0x2000u);
    ticks(9);
    EXPECT_TRUE(sent().isEmpty());
    ticks(1);
    EXPECT_EQ(sent(), QList<QByteArray>{"PH"});
    EXPECT_EQ(lit(status), (QStringList{"LEDHL1_27", "LEDHL1_28", "LEDHL2_13"}));
    sim().setReply("PH", "8000H, 0H\r\n");
    ticks(10);
    EXPECT_TRUE(lit(status).isEmpty());
    EXPECT_EQ(status->statusWord1(), 0x8000u);
}

TEST_F(StatusOnPci, RepliesOfAnotherFormLeaveTheLedsAsTheyWere)
{
    sim().setHardwareStatus(0x3u, 0x100u);
    frmHardwareStatus* status = openStatus();
    const QStringList before{"LEDHL1_0", "LEDHL1_1", "LEDHL2_8"};
    ASSERT_EQ(lit(status), before);
    for (const QByteArray& reply : QList<QByteArray>{
             "",                        // no answer at all
             "Error 7, bad command\r\n", // an error text
             "FFH 3H\r\n",               // no comma
             "FFH, 3H",                  // cut before its line end
             "FFH, \r\n",                // no second word
             "123456789H, 0H\r\n",       // more than 32 bits
             "No data\r\n"}) {
        sim().setReply("PH", reply);
        ticks(10);
        EXPECT_EQ(lit(status), before) << reply.constData();
    }
    // Line end CR alone is a line end.
    sim().setReply("PH", "1h, 0H\r");
    ticks(10);
    EXPECT_EQ(lit(status), before) << "a lower-case h is no word";
    sim().setReply("PH", "0004H, 0H\r");
    ticks(10);
    EXPECT_EQ(lit(status), QStringList{"LEDHL1_2"});
}

TEST_F(StatusOnPci, OtherModelsHaveNoInterlockAndTicksDoNotReenterARefresh)
{
    KvlXGlobal::gModel = QStringLiteral("KVL410");
    frmHardwareStatus* status = openStatus();
    EXPECT_EQ(status->findChild<QLabel*>(QStringLiteral("Label14"))->text(), QStringLiteral("E-Stop 1"));
    EXPECT_EQ(status->findChild<QLabel*>(QStringLiteral("Label16"))->text(), QStringLiteral("E-Stop 2"));
    EXPECT_TRUE(status->findChild<QLabel*>(QStringLiteral("Label17"))->isHidden());
    EXPECT_TRUE(status->findChild<QWidget*>(QStringLiteral("LEDHL1_31"))->isHidden());

    // Ticks that arrive while the status query is on its way start no second one.
    sim().clearLog();
    bool inside = false;
    QObject::connect(&sim(), &SimController::lineReceived, &sim(), [&](const QByteArray& line) {
        if (line != "PH" || inside)
            return;
        inside = true;
        ticks(20);
        inside = false;
    });
    ticks(10);
    EXPECT_EQ(count("PH"), 1);
}

TEST_F(StatusOnPci, DisplayWindowsReadNothingWhileHiddenOrMinimisedAndReadAtOnceWhenBack)
{
    frmHardwareStatus* status = openStatus();
    rig.main()->mobjGuiState()->setMaxAnalogChannels(8);
    auto* adc = dynamic_cast<frmADC*>(CommandDispatcher::window(QStringLiteral("frmADC")));
    adc->Show();
    sim().clearLog();

    status->Hide();
    adc->frame()->showMinimized();
    Clock::pumpOnce();
    ticks(30);
    EXPECT_TRUE(sent().isEmpty());

    status->Show();
    Clock::pumpOnce();
    EXPECT_EQ(sent(), QList<QByteArray>{"PH"});
    sim().clearLog();
    adc->frame()->showNormal();
    Clock::pumpOnce();
    EXPECT_EQ(sent().size(), frmADC::Channels);

    // The main window minimised hides them both.
    sim().clearLog();
    rig.main()->showMinimized();
    Clock::pumpOnce();
    ticks(10);
    EXPECT_TRUE(sent().isEmpty());
    rig.main()->showNormal();
}

TEST_F(StatusOnPci, AnalogInputsReadEightChannelsEveryTickWhenTheControllerHasThem)
{
    // No analog channels: the window is disabled and sends nothing.
    auto* adc = dynamic_cast<frmADC*>(CommandDispatcher::window(QStringLiteral("frmADC")));
    adc->Show();
    EXPECT_EQ(adc->windowTitle(), QStringLiteral("ADC Readings"));
    EXPECT_FALSE(adc->isEnabled());
    ticks(3);
    EXPECT_TRUE(sent().isEmpty());
    Form::Unload(adc);

    rig.main()->mobjGuiState()->setMaxAnalogChannels(2);
    sim().setValue(3, "RA", "1.250");
    adc = dynamic_cast<frmADC*>(CommandDispatcher::window(QStringLiteral("frmADC")));
    adc->Show();
    EXPECT_TRUE(adc->isEnabled());
    ticks(1);
    EXPECT_EQ(sent(true),
              (QList<QByteArray>{" 0RA\r", " 1RA\r", " 2RA\r", " 3RA\r", " 4RA\r", " 5RA\r", " 6RA\r", " 7RA\r"}));
    EXPECT_EQ(adc->findChild<QLineEdit*>(QStringLiteral("txtVolts_3"))->text(), QStringLiteral("1.250"));
    EXPECT_EQ(adc->findChild<QLineEdit*>(QStringLiteral("txtVolts_0"))->text(), QStringLiteral("0.000"));
    EXPECT_EQ(adc->findChild<QLabel*>(QStringLiteral("lblNum_7"))->text(), QStringLiteral("8"));

    sim().clearLog();
    Form::Unload(adc);
    ticks(2);
    EXPECT_TRUE(sent().isEmpty());
}

// Readings lost (every other query answered at once) keep what the windows showed.
TEST_F(StatusOnPci, ReadingsThatDoNotComeLeaveWhatWasShown)
{
    rig.main()->mobjGuiState()->setMaxAnalogChannels(8);
    sim().setValue(2, "RA", "2.500");
    sim().setValue(3, "RA", "1.250");
    auto* adc = dynamic_cast<frmADC*>(CommandDispatcher::window(QStringLiteral("frmADC")));
    adc->Show();
    ticks(1);
    ASSERT_EQ(adc->findChild<QLineEdit*>(QStringLiteral("txtVolts_3"))->text(), QStringLiteral("1.250"));
    sim().setReply(" 2RA", "No data\r\n");
    sim().setReply(" 3RA", "");
    sim().setValue(1, "RA", "0.750");
    ticks(1);
    EXPECT_EQ(adc->findChild<QLineEdit*>(QStringLiteral("txtVolts_1"))->text(), QStringLiteral("0.750"));
    EXPECT_EQ(adc->findChild<QLineEdit*>(QStringLiteral("txtVolts_2"))->text(), QStringLiteral("2.500"));
    EXPECT_EQ(adc->findChild<QLineEdit*>(QStringLiteral("txtVolts_3"))->text(), QStringLiteral("1.250"));
    Form::Unload(adc);
    sim().clearReplies();

    // The status window opened while its word is lost lights nothing from it, then shows the next.
    sim().setHardwareStatus(0x3u, 0x100u);
    sim().setReply("PH", "");
    frmHardwareStatus* status = openStatus();
    ASSERT_NE(status, nullptr);
    for (const char* name : {"LEDHL1_0", "LEDHL1_5", "LEDHL2_8"})
        EXPECT_FALSE(status->findChild<QWidget*>(QLatin1String(name))->isEnabled()) << name << " shows a level never read";
    sim().clearReplies();
    ticks(10);
    EXPECT_EQ(lit(status), (QStringList{"LEDHL1_0", "LEDHL1_1", "LEDHL2_8"}));
    EXPECT_TRUE(status->findChild<QWidget*>(QStringLiteral("LEDHL1_5"))->isEnabled());
    sim().setReply("PH", "");
    ticks(10);
    EXPECT_EQ(lit(status), (QStringList{"LEDHL1_0", "LEDHL1_1", "LEDHL2_8"})) << "not every LED off";
    Form::Unload(status);
    sim().clearReplies();

    // A version that is no version is not shown.
    sim().setReply("VE?", "No data\r\n");
    rig.main()->MenuDispatch(QStringLiteral("mnuHelpAboutKVL7100"));
    auto* about = dynamic_cast<frmAbout*>(Form::loadedForm(QStringLiteral("frmAbout")));
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->lblFirmVersion()->text(), QString());
    Form::Unload(about);
}

TEST_F(StatusOnPci, AboutShowsTheProgramDriverAndFirmwareVersions)
{
    platform::drivers::setPciVersion("kvl7100 driver", "  4.2.1 (2008)  ");
    rig.main()->MenuDispatch(QStringLiteral("mnuHelpAboutKVL7100"));
    auto* about = dynamic_cast<frmAbout*>(Form::loadedForm(QStringLiteral("frmAbout")));
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Moxtrel"));
    EXPECT_EQ(about->lblKvlVersion()->text(), QStringLiteral("Moxtrel Version           Version 5.1  10/09/08"));
    EXPECT_EQ(about->lblDllVersion()->text(), QStringLiteral("4.2.1 (2008)"));
    EXPECT_FALSE(about->lblDllVersion()->isHidden());
    EXPECT_FALSE(about->lblDllTitle()->isHidden());
    EXPECT_EQ(about->lblFirmVersion()->text(), QStringLiteral("2.0"));
    EXPECT_EQ(sent(), QList<QByteArray>{"VE?"});
    QTest::mouseClick(about->btnOK(), Qt::LeftButton);
    EXPECT_FALSE(about->isLoaded());

    // A controller whose reply has no "Version" (known to the link from its opening) is shown whole.
    sim().setModel("  KVL-X 7  ");
    ASSERT_EQ(rig.comm()->KVLInit(), 0);
    rig.main()->MenuDispatch(QStringLiteral("mnuHelpAboutKVL7100"));
    about = dynamic_cast<frmAbout*>(Form::loadedForm(QStringLiteral("frmAbout")));
    EXPECT_EQ(about->lblFirmVersion()->text(), QStringLiteral("KVL-X 7"));
    Form::Unload(about);

    // Demo mode from the File menu: nothing asked, both versions "N/A".
    sim().clearLog();
    KvlXGlobal::gDemoMode = true;
    rig.main()->MenuDispatch(QStringLiteral("mnuHelpAboutKVL7100"));
    about = dynamic_cast<frmAbout*>(Form::loadedForm(QStringLiteral("frmAbout")));
    EXPECT_EQ(about->lblFirmVersion()->text(), QStringLiteral("N/A"));
    EXPECT_EQ(about->lblDllVersion()->text(), QStringLiteral("N/A"));
    EXPECT_TRUE(sent().isEmpty());
    Form::Unload(about);
    KvlXGlobal::gDemoMode = false;

    // No bus, but not that mode: no driver version, and the firmware version is empty.
    rig.comm()->setBusType(BUS_TYPE_NONE);
    rig.main()->MenuDispatch(QStringLiteral("mnuHelpAboutKVL7100"));
    about = dynamic_cast<frmAbout*>(Form::loadedForm(QStringLiteral("frmAbout")));
    EXPECT_TRUE(about->lblDllVersion()->isHidden());
    EXPECT_TRUE(about->lblFirmVersion()->text().isEmpty());
}

TEST_F(StatusOnPci, TestWindowPutsItsMessageOnTheErrorPanel)
{
    auto* test = dynamic_cast<frmTest*>(CommandDispatcher::window(QStringLiteral("frmTest")));
    test->Show();
    EXPECT_EQ(test->windowTitle(), QStringLiteral("Test Form"));
    EXPECT_EQ(test->cmdError()->text(), QStringLiteral("Send an error"));
    QTest::mouseClick(test->cmdError(), Qt::LeftButton);
    EXPECT_EQ(test->lblError()->text(), QStringLiteral("0"));
    Form* errors = Form::loadedForm(QStringLiteral("frmErrors"));
    ASSERT_NE(errors, nullptr);
    EXPECT_TRUE(errors->Visible());
}

TEST(StatusOnSerial, AboutOnTheSerialLinkHasNoDriverVersion)
{
    StatusWindowsInstalled windows;
    ShellRig rig;
    rig.useSerialLink();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    rig.start();
    rig.comm()->setTimerEnabled(false);
    rig.main()->MenuDispatch(QStringLiteral("mnuHelpAboutKVL7100"));
    auto* about = dynamic_cast<frmAbout*>(Form::loadedForm(QStringLiteral("frmAbout")));
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->lblDllTitle()->isHidden());
    EXPECT_TRUE(about->lblDllVersion()->isHidden());
    EXPECT_EQ(about->lblFirmVersion()->text(), QStringLiteral("2.0"));
}

} // namespace
