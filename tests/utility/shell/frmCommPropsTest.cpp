#include "tests/support/ControllerHandlers.h"
#include "tests/support/ShellRig.h"

#include "library/link/KVLComm.h"
#include "platform/serial/SerialControl.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimPtyThread.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/frmBusType.h"
#include "utility/shell/frmCommProps.h"
#include "utility/shell/frmMain.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <gtest/gtest.h>

using platform::SerialControl;

namespace {

frmCommProps* openDialog()
{
    frmCommProps* dialog = Form::instance<frmCommProps>();
    dialog->Show();
    return dialog;
}

bool dialogLoaded()
{
    return Form::loadedForm(QStringLiteral("frmCommProps")) != nullptr;
}

} // namespace

TEST(frmCommPropsTest, ShowsTheSerialControlsSettings)
{
    ShellRig rig;
    ControllerHandlers handlers;
    rig.start();
    SerialControl* serial = rig.comm()->RS232CommControl();
    rig.comm()->setCommPort(4);
    serial->setSettings(QStringLiteral("9600,o,7,1.5"));
    serial->setHandshaking(SerialControl::comRTS);

    frmCommProps* dialog = openDialog();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("CommPort Properties"));
    EXPECT_EQ(dialog->tabSettings()->tabText(0), QStringLiteral("Properties"));
    EXPECT_EQ(dialog->cboPort()->count(), 30);
    EXPECT_EQ(dialog->cboPort()->itemText(29), QStringLiteral("Com30"));
    EXPECT_EQ(dialog->cboSpeed()->count(), 17);
    EXPECT_EQ(dialog->cboPort()->currentIndex(), 3);
    EXPECT_EQ(dialog->cboSpeed()->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(dialog->cboParity()->currentText(), QStringLiteral("Odd"));
    EXPECT_EQ(dialog->cboDataBits()->currentText(), QStringLiteral("7"));
    EXPECT_EQ(dialog->cboStopBits()->currentText(), QStringLiteral("1.5"));
    EXPECT_TRUE(dialog->optFlow(2)->isChecked());
    EXPECT_EQ(dialog->PendingHandshaking(), 2);
    EXPECT_EQ(dialog->LabelTest()->text(), QStringLiteral("9600,o,7,1.5"));

    // OK writes the parity letter in capitals, and the handshaking chosen.
    dialog->cboParity()->setCurrentIndex(0);
    dialog->cboDataBits()->setCurrentText(QStringLiteral(" 8 "));
    dialog->cboStopBits()->setCurrentText(QStringLiteral("1"));
    dialog->optFlow(1)->click();
    dialog->cmdOK()->click();
    EXPECT_EQ(serial->Settings(), QStringLiteral("9600,e,8,1"));
    EXPECT_EQ(serial->Handshaking(), SerialControl::comXOnXoff);
    EXPECT_FALSE(dialogLoaded());
    EXPECT_TRUE(rig.boxes.isEmpty());

    // A settings text the control refuses is shown and keeps the dialog open.
    dialog = openDialog();
    dialog->cboSpeed()->setCurrentText(QStringLiteral("fast"));
    rig.boxes.clear();
    dialog->cmdOK()->click();
    ASSERT_EQ(rig.boxes.size(), 1);
    EXPECT_EQ(rig.boxes[0].style, platform::vbOKOnly + platform::vbExclamation);
    EXPECT_TRUE(dialogLoaded());
    EXPECT_EQ(serial->Settings(), QStringLiteral("9600,e,8,1"));
}

TEST(frmCommPropsTest, PortChangesCloseThePortAndAFailedOneReopensTheOld)
{
    ShellRig rig;
    ControllerHandlers handlers;
    rig.useSerialLink();
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    rig.start();
    KVLComm* comm = rig.comm();
    comm->setTimerEnabled(false);
    SerialControl* serial = comm->RS232CommControl();
    ASSERT_TRUE(serial->PortOpen());
    rig.boxes.clear();

    // OK with the port unchanged keeps the link's port open.
    frmCommProps* dialog = openDialog();
    EXPECT_EQ(dialog->cboPort()->currentIndex(), ShellRig::SimPort - 1);
    dialog->cmdOK()->click();
    EXPECT_TRUE(serial->PortOpen());
    EXPECT_TRUE(rig.boxes.isEmpty()) << rig.prompts().join(QLatin1Char('|')).toStdString();

    // A port beyond the list selects nothing; the change to no port fails, and the link goes on
    // on its old port, open again.
    comm->KVLClose();
    qputenv("KVL_COM31", qgetenv(QByteArray("KVL_COM") + QByteArray::number(ShellRig::SimPort)));
    comm->setCommPort(31);
    comm->KVLOpen();
    ASSERT_TRUE(serial->PortOpen());
    dialog = openDialog();
    EXPECT_EQ(dialog->cboPort()->currentIndex(), -1);
    dialog->cmdOK()->click();
    ASSERT_EQ(rig.boxes.size(), 1);
    EXPECT_EQ(rig.boxes[0].style, platform::vbOKOnly + platform::vbExclamation);
    EXPECT_EQ(serial->CommPort(), 31);
    EXPECT_TRUE(serial->PortOpen());
    EXPECT_TRUE(dialogLoaded());
    qunsetenv("KVL_COM31");

    // Another port closes the port at once; the bus window's list follows it.
    frmBusType* busWindow = Form::instance<frmBusType>();
    busWindow->optBusType(3)->click();
    dialog->cboPort()->setCurrentIndex(4);
    dialog->cmdOK()->click();
    EXPECT_EQ(serial->CommPort(), 5);
    EXPECT_FALSE(serial->PortOpen());
    EXPECT_EQ(busWindow->cboDeviceID()->currentIndex(), 4);
    EXPECT_FALSE(dialogLoaded());
}
