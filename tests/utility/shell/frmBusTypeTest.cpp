#include "tests/support/ControllerHandlers.h"
#include "tests/support/ResetAnswer.h"
#include "tests/support/ShellRig.h"

#include "library/link/KVLComm.h"
#include "platform/kernel/Clock.h"
#include "platform/serial/SerialControl.h"
#include "platform/ui/MsgBox.h"
#include "sim/SimController.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmBusType.h"
#include "utility/shell/frmCommProps.h"
#include "utility/shell/frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

using namespace KvlXGlobal;
using platform::Clock;

namespace {

const QString kReset = ResetAnswer::prompt();

struct TestClock {
    TestClock() { Clock::useManualClock(); }
    ~TestClock() { Clock::useRealClock(); }
};

frmBusType* busWindow()
{
    return dynamic_cast<frmBusType*>(Form::loadedForm(QStringLiteral("frmBusType")));
}

frmBusType* openBusWindow(frmMain* main)
{
    main->ShowBusType();
    return busWindow();
}

QStringList items(const QComboBox* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

int checkedOption(const frmBusType* window)
{
    for (int i = 0; i < frmBusType::BusChoices; ++i) {
        if (window->optBusType(i)->isChecked())
            return i;
    }
    return -1;
}

} // namespace

TEST(frmBusTypeTest, EachOptionFillsItsListLabelAndToolTip)
{
    ShellRig rig;
    ControllerHandlers handlers;
    frmMain* main = rig.start(); // first start: the bus window opens on demo mode
    frmBusType* window = busWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->Visible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Moxtrel - Select Communications Port"));
    EXPECT_EQ(checkedOption(window), 0);
    EXPECT_TRUE(window->chkStartup()->isChecked());
    Q_UNUSED(main);

    rig.comm()->setDeviceID(2);
    rig.comm()->setCommPort(5);
    struct Row {
        int index;
        QString label;
        QString toolTip;
        int count;
        QString first;
        int selected;
        bool setup;
        short pending;
    };
    const QString serial = QStringLiteral("Open the Serial Communications Channel");
    const QList<Row> rows{
        {1, "Select Device ID#", "Open or Reset the PCI Bus Card", 4, "0", 2, false, 1},
        {2, "Select Device ID#", "Open the GPIB bus device", 30, "1", 1, false, 2},
        {3, "Select Com Port", serial, 30, "1", 4, true, 3},
        {4, "Select USB Port", "Open the USB device", 30, "1", 1, false, 4},
        {5, "Select Virtual Com Port", serial, 30, "1", 4, true, 3},
        {0, "No Device Available", "Start the system in Demo Mode", 0, QString(), -1, false, 0},
    };
    for (const Row& row : rows) {
        window->optBusType(row.index)->click();
        SCOPED_TRACE(row.index);
        EXPECT_EQ(window->lblDeviceID()->text(), row.label);
        EXPECT_EQ(window->cmdApply()->toolTip(), row.toolTip);
        EXPECT_EQ(window->cboDeviceID()->count(), row.count);
        if (row.count > 0) {
            EXPECT_EQ(items(window->cboDeviceID()).first(), row.first);
            EXPECT_EQ(items(window->cboDeviceID()).last(), QString::number(row.first.toInt() + row.count - 1));
        }
        EXPECT_EQ(window->cboDeviceID()->currentIndex(), row.selected);
        EXPECT_EQ(window->cboDeviceID()->isEnabled(), row.index != 0);
        EXPECT_EQ(window->cmdRS232Setup()->isVisibleTo(window), row.setup);
        EXPECT_EQ(window->PendingBusType(), row.pending);
        EXPECT_EQ(gBusChoice, row.index);
    }

    // "Show Window at Startup" writes the first-run flag and shows it at every opening.
    window->chkStartup()->click();
    EXPECT_FALSE(gFirstRun);
    window->cmdExit()->click();
    EXPECT_EQ(busWindow(), nullptr);
    window = openBusWindow(rig.main());
    EXPECT_FALSE(window->chkStartup()->isChecked());
}

TEST(frmBusTypeTest, OpensOnTheBusInUseAndCancelRestoresTheTick)
{
    ShellRig rig;
    ControllerHandlers handlers;
    rig.store(QStringLiteral("frmMain"), QStringLiteral("FirstTime"), QStringLiteral("0"));
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    frmMain* main = rig.start();
    KVLComm* comm = rig.comm();
    ASSERT_TRUE(comm->TimerEnabled());

    // After a restart the serial link is plain RS-232 (no choice made in this run yet).
    comm->setBusType(BUS_TYPE_RS232);
    comm->setCommPort(3);
    gBusChoice = 0;
    frmBusType* window = openBusWindow(main);
    EXPECT_EQ(checkedOption(window), 3);
    EXPECT_EQ(window->cboDeviceID()->currentIndex(), 2);
    EXPECT_FALSE(comm->TimerEnabled());
    window->cmdExit()->click();
    EXPECT_TRUE(comm->TimerEnabled());

    // The USB virtual port once chosen; closing by the close box restores the tick too.
    gBusChoice = 5;
    window = openBusWindow(main);
    EXPECT_EQ(checkedOption(window), 5);
    window->frame()->close();
    EXPECT_EQ(busWindow(), nullptr);
    EXPECT_TRUE(comm->TimerEnabled());
}

TEST(frmBusTypeTest, ChoicesOutsideTheListsAreRefusedNotWritten)
{
    ShellRig rig;
    ControllerHandlers handlers;
    frmMain* main = rig.start();
    KVLComm* comm = rig.comm();
    main->ShowBusType(); // opened by the start already
    frmBusType* window = busWindow();
    window->cmdExit()->click();

    comm->setBusType(9);
    window = openBusWindow(main);
    EXPECT_EQ(checkedOption(window), -1);
    rig.boxes.clear();
    window->cmdApply()->click();
    EXPECT_EQ(rig.prompts(), QStringList{QStringLiteral("Select Port Type")});
    EXPECT_EQ(int(comm->BusType()), 9);
    window->cmdExit()->click();

    // A PCI board beyond the four the list offers.
    comm->setBusType(BUS_TYPE_PCI);
    comm->setDeviceID(7);
    window = openBusWindow(main);
    EXPECT_EQ(checkedOption(window), 1);
    EXPECT_EQ(window->cboDeviceID()->currentIndex(), -1);
    rig.boxes.clear();
    window->cmdApply()->click();
    EXPECT_EQ(rig.prompts(), QStringList{QStringLiteral("Select Device ID#")});
    EXPECT_EQ(comm->DeviceID(), 7);

    // A port beyond the thirty: neither Open Port nor Setup writes port 0.
    comm->setBusType(BUS_TYPE_RS232);
    comm->setCommPort(31);
    window->optBusType(3)->click();
    EXPECT_EQ(window->cboDeviceID()->currentIndex(), -1);
    rig.boxes.clear();
    window->cmdApply()->click();
    window->cmdRS232Setup()->click();
    EXPECT_EQ(rig.prompts(), (QStringList{QStringLiteral("Select Com Port"), QStringLiteral("Select Com Port")}));
    EXPECT_EQ(comm->CommPort(), 31);
    EXPECT_EQ(Form::loadedForm(QStringLiteral("frmCommProps")), nullptr);
}

TEST(frmBusTypeTest, OpenPortOnTheSerialBusInitialisesAndSavesTheLink)
{
    TestClock clock;
    ShellRig rig;
    ControllerHandlers handlers;
    rig.useSerialLink();
    rig.store(QStringLiteral("KVLComm"), QStringLiteral("BusType"), QStringLiteral("0"));
    rig.store(QStringLiteral("frmMain"), QStringLiteral("FirstTime"), QStringLiteral("1"));
    frmMain* main = rig.start();
    KVLComm* comm = rig.comm();
    frmBusType* window = busWindow();
    ASSERT_NE(window, nullptr);

    // The dialog's framing is not what Open Port leaves on the link.
    comm->setSettings(QStringLiteral("9600,e,7,1"));
    window->optBusType(3)->click();
    window->cboDeviceID()->setCurrentIndex(ShellRig::SimPort - 1);
    rig.answer = [](const ShellRig::Box&) { return int(platform::vbNo); };
    gCommBroken = true;
    window->cmdApply()->click();

    EXPECT_EQ(rig.prompts(), QStringList{kReset});
    EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
    EXPECT_EQ(comm->CommPort(), ShellRig::SimPort);
    EXPECT_EQ(comm->Settings(), QStringLiteral("19200,n,8,1"));
    EXPECT_TRUE(comm->IsOpen());
    const QStringList sent = rig.simLines();
    // The link's start identifies the controller, then the lookup (twice: no table here).
    EXPECT_EQ(sent.mid(0, 5), (QStringList{"VE?", "VE?", "VE?", "ZU?", "PH?"}));
    EXPECT_EQ(rig.stored("KVLComm", "BusType"), QStringLiteral("3"));
    EXPECT_EQ(rig.stored("KVLComm", "CommPort"), QString::number(ShellRig::SimPort));
    EXPECT_EQ(rig.stored("KVLComm", "Baud"), QStringLiteral("19200,n,8,1"));
    EXPECT_EQ(rig.stored("frmMain", "FirstTime"), QStringLiteral("1"));
    EXPECT_TRUE(comm->TimerEnabled());
    EXPECT_EQ(comm->Interval(), 50);
    EXPECT_FALSE(gCommBroken);
    EXPECT_EQ(gBusChoice, 3);
    EXPECT_EQ(main->StatusBarPanelText(2), QStringLiteral("RS232"));
    EXPECT_EQ(main->StatusBarPanelText(3), QStringLiteral("COM%1").arg(ShellRig::SimPort));
    EXPECT_TRUE(window->Visible()); // the window stays open after Open Port
    EXPECT_NE(Form::loadedForm(QStringLiteral("frmErrors")), nullptr);

    // Setup on the port in use leaves the open link alone (no "port in use" failure).
    comm->setTimerEnabled(false);
    rig.boxes.clear();
    window->cmdRS232Setup()->click();
    EXPECT_TRUE(rig.boxes.isEmpty()) << rig.prompts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(comm->IsOpen());
    EXPECT_TRUE(comm->RS232CommControl()->PortOpen());
    EXPECT_EQ(comm->BusType(), BUS_TYPE_RS232);
    auto* dialog = dynamic_cast<frmCommProps*>(Form::loadedForm(QStringLiteral("frmCommProps")));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->cboSpeed()->currentText(), QStringLiteral("19200"));
    EXPECT_EQ(dialog->cboPort()->currentIndex(), ShellRig::SimPort - 1);
    dialog->cmdCancel()->click();

    // Demo mode writes only the bus type.
    comm->setDeviceID(4);
    window->optBusType(0)->click();
    window->cmdApply()->click();
    EXPECT_EQ(comm->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(comm->DeviceID(), 4);
    EXPECT_EQ(comm->CommPort(), ShellRig::SimPort);
    EXPECT_EQ(comm->Settings(), QStringLiteral("19200,n,8,1"));
    EXPECT_EQ(rig.stored("KVLComm", "BusType"), QStringLiteral("0"));
}

TEST(frmBusTypeTest, SetupForTheVirtualPortOpensTheDialogOnItsFraming)
{
    ShellRig rig;
    ControllerHandlers handlers;
    frmMain* main = rig.start();
    frmBusType* window = busWindow();
    ASSERT_NE(window, nullptr);
    Q_UNUSED(main);

    window->optBusType(5)->click();
    window->cboDeviceID()->setCurrentIndex(2);
    window->cmdRS232Setup()->click();
    auto* dialog = dynamic_cast<frmCommProps*>(Form::loadedForm(QStringLiteral("frmCommProps")));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->cboSpeed()->currentText(), QStringLiteral("921600"));
    EXPECT_EQ(dialog->cboParity()->currentText(), QStringLiteral("None"));
    EXPECT_EQ(dialog->cboDataBits()->currentText(), QStringLiteral("8"));
    EXPECT_EQ(dialog->cboStopBits()->currentText(), QStringLiteral("1"));
    EXPECT_EQ(dialog->cboPort()->currentIndex(), 2);
    EXPECT_EQ(dialog->LabelTest()->text(), QStringLiteral("921600,n,8,1"));
    // The bus type is the link's again once the dialog is up.
    EXPECT_EQ(rig.comm()->BusType(), BUS_TYPE_NONE);
    EXPECT_EQ(window->cboDeviceID()->currentIndex(), 2);
}
