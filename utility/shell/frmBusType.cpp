#include "utility/shell/frmBusType.h"

#include "library/link/BusType.h"
#include "platform/RuntimeError.h"
#include "platform/kernel/Clock.h"
#include "platform/serial/SerialControl.h"
#include "platform/ui/MsgBox.h"
#include "utility/shell/CommLink.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmCommProps.h"
#include "utility/shell/frmErrors.h"
#include "utility/shell/frmMain.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace KvlXGlobal;
using platform::MsgBox;
using platform::RuntimeError;

namespace {

struct Choice {
    const char* caption;
    const char* label;
    const char* toolTip;
    short busType;
};

const Choice kChoices[frmBusType::BusChoices] = {
    {"None  (Demo Mode)", "No Device Available", "Start the system in Demo Mode", BUS_TYPE_NONE},
    {"PCI", "Select Device ID#", "Open or Reset the PCI Bus Card", BUS_TYPE_PCI},
    {"GPIB", "Select Device ID#", "Open the GPIB bus device", BUS_TYPE_GPIB},
    {"RS232", "Select Com Port", "Open the Serial Communications Channel", BUS_TYPE_RS232},
    {"USB device", "Select USB Port", "Open the USB device", BUS_TYPE_USB},
    {"USB VCP", "Select Virtual Com Port", "Open the Serial Communications Channel", BUS_TYPE_RS232},
};

constexpr int kPciBoards = 4;
constexpr int kListEntries = 30;
const QString kSerialSettings = QStringLiteral("19200,n,8,1");
const QString kVcpSettings = QStringLiteral("921600,n,8,1");

platform::SerialControl* serialOf(CommLink& comm)
{
    return qobject_cast<platform::SerialControl*>(comm.RS232CommControl());
}

// Sets the link's port. The port already in use is left alone (setting it again on an open port
// would be refused as a port in use); another port closes the link's serial port first.
void setLinkPort(CommLink& comm, short port)
{
    platform::SerialControl* serial = serialOf(comm);
    if (comm.CommPort() == port && (!serial || serial->CommPort() == port))
        return;
    if (serial && serial->PortOpen()) {
        comm.KVLClose();
        if (serial->PortOpen())
            serial->setPortOpen(false); // a port left open under demo mode
    }
    comm.setCommPort(port);
}

void setLinkSettings(CommLink& comm, const QString& settings)
{
    try {
        comm.setSettings(settings);
    } catch (const RuntimeError& error) {
        MsgBox(error.Description, platform::vbOKOnly + platform::vbExclamation, QStringLiteral("Moxtrel"));
    }
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

frmBusType::frmBusType()
    : Form(QStringLiteral("frmBusType"))
{
    setWindowTitle(QStringLiteral("Moxtrel - Select Communications Port"));
    setBorderStyle(vbFixedSingle);

    m_frame1 = new QGroupBox(QStringLiteral("Select Port Type"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_group = new QButtonGroup(this);
    auto* options = new QVBoxLayout(m_frame1);
    for (int i = 0; i < BusChoices; ++i) {
        auto* option = new QRadioButton(QString::fromLatin1(kChoices[i].caption), m_frame1);
        option->setObjectName(QStringLiteral("optBusType_%1").arg(i));
        option->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed); // never narrower than its caption
        m_group->addButton(option, i);
        options->addWidget(option);
        m_optBusType.append(option);
        connect(option, &QRadioButton::clicked, this, [this, i] { optBusType_Click(i); });
    }

    m_lblDeviceID = new QLabel(this);
    m_lblDeviceID->setObjectName(QStringLiteral("lblDeviceID"));
    // Room for the longest of the captions the choices give it, so the window does not change
    // its layout from one choice to the next.
    int widest = 0;
    for (const Choice& choice : kChoices)
        widest = std::max(widest, m_lblDeviceID->fontMetrics().horizontalAdvance(QString::fromLatin1(choice.label)));
    m_lblDeviceID->setMinimumWidth(widest + 2 * m_lblDeviceID->margin());
    m_cboDeviceID = new QComboBox(this);
    m_cboDeviceID->setObjectName(QStringLiteral("cboDeviceID"));
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("Label"));

    m_cmdApply = new QPushButton(QStringLiteral("Open Port"), this);
    m_cmdApply->setObjectName(QStringLiteral("cmdApply"));
    m_cmdRS232Setup = new QPushButton(QStringLiteral("Setup"), this);
    m_cmdRS232Setup->setObjectName(QStringLiteral("cmdRS232Setup"));
    m_cmdRS232Setup->hide();
    m_cmdExit = new QPushButton(QStringLiteral("Cancel"), this);
    m_cmdExit->setObjectName(QStringLiteral("cmdExit"));
    m_chkStartup = new QCheckBox(QStringLiteral("Show Window at Startup"), this);
    m_chkStartup->setObjectName(QStringLiteral("chkStartup"));

    connect(m_cmdApply, &QPushButton::clicked, this, &frmBusType::cmdApply_Click);
    connect(m_cmdRS232Setup, &QPushButton::clicked, this, &frmBusType::cmdRS232Setup_Click);
    connect(m_cmdExit, &QPushButton::clicked, this, &frmBusType::cmdExit_Click);
    connect(m_chkStartup, &QCheckBox::clicked, this, &frmBusType::chkStartup_Click);

    auto* device = new QVBoxLayout;
    device->addWidget(m_lblDeviceID);
    device->addWidget(m_cboDeviceID);
    device->addWidget(m_label);
    device->addStretch(1);
    device->addWidget(m_cmdRS232Setup);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdApply);
    buttons->addWidget(m_cmdExit);
    buttons->addStretch(1);

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_frame1, 0, 0);
    layout->addLayout(device, 0, 1);
    layout->addLayout(buttons, 0, 2);
    layout->addWidget(m_chkStartup, 1, 0, 1, 3);
}

int frmBusType::selectedOption() const
{
    return m_group->checkedId();
}

void frmBusType::Form_Load()
{
    frmMain* main = frmMain::instance();
    if (main)
        m_comm = main->KVLComm1().object();
    CommLink comm(m_comm);
    m_tickWasOn = comm.TimerEnabled();
    comm.setTimerEnabled(false);

    RestoreFormPosition(this);
    setHeight(DesignHeight);
    setWidth(DesignWidth);
    Show();

    m_chkStartup->setChecked(gFirstRun);
    m_lblDeviceID->clear();

    int bus = comm.BusType();
    // A link that fell to demo mode by itself is offered again, so Open Port tries it once more.
    if (bus == BUS_TYPE_NONE && main && main->fallenBusType() != BUS_TYPE_NONE)
        bus = main->fallenBusType();
    m_pendingBusType = short(bus);
    // Bus type 3 is plain RS-232 or a USB virtual port; the program's last choice tells which,
    // and after a restart (no choice made yet) it is plain RS-232.
    int option = -1;
    if (bus == BUS_TYPE_RS232)
        option = gBusChoice == 5 ? 5 : 3;
    else if (bus >= BUS_TYPE_NONE && bus <= BUS_TYPE_USB)
        option = bus;
    selectOption(option);
}

void frmBusType::Form_Unload(int& Cancel)
{
    Q_UNUSED(Cancel);
    SaveFormPosition(this);
    // The tick this window stopped runs again, unless the program is closing.
    if (m_tickWasOn && !gAppClosing && m_comm)
        CommLink(m_comm).setTimerEnabled(true);
}

void frmBusType::selectOption(int index)
{
    if (index < 0 || index >= BusChoices) {
        m_group->setExclusive(false);
        for (QRadioButton* option : m_optBusType)
            option->setChecked(false);
        m_group->setExclusive(true);
        return;
    }
    m_optBusType[index]->setChecked(true);
    optBusType_Click(index);
}

void frmBusType::selectEntry(int index)
{
    m_cboDeviceID->setCurrentIndex(index >= 0 && index < m_cboDeviceID->count() ? index : -1);
}

void frmBusType::optBusType_Click(int Index)
{
    m_cboDeviceID->setEnabled(true);
    m_cmdRS232Setup->hide();
    m_label->clear();
    if (Index < 0 || Index >= BusChoices)
        return;
    gBusChoice = short(Index);

    const Choice& choice = kChoices[Index];
    CommLink comm(m_comm);
    m_cboDeviceID->clear();
    m_lblDeviceID->setText(QString::fromLatin1(choice.label));
    m_cmdApply->setToolTip(QString::fromLatin1(choice.toolTip));
    if (Index == 0) {
        m_cboDeviceID->setEnabled(false);
    } else {
        const int first = Index == 1 ? 0 : 1;
        const int count = Index == 1 ? kPciBoards : kListEntries;
        for (int n = first; n < first + count; ++n)
            m_cboDeviceID->addItem(QString::number(n));
        switch (Index) {
        case 1:
            selectEntry(comm.DeviceID());
            m_cboDeviceID->show();
            m_lblDeviceID->show();
            break;
        case 2:
        case 4:
            selectEntry(comm.DeviceID() - 1);
            break;
        default:
            selectEntry(comm.CommPort() - 1);
            m_cmdRS232Setup->show();
            break;
        }
        m_cboDeviceID->setFocus();
    }
    m_pendingBusType = choice.busType;
}

void frmBusType::cmdApply_Click()
{
    if (InitializeControllerBusy())
        return; // the link is being opened already
    QPointer<frmBusType> self(this);
    frmMain* main = frmMain::instance();
    CommLink comm(m_comm);
    if (!main || comm.isNull())
        return;

    int chosen = -1;
    for (int index : {1, 4, 3, 5, 2}) {
        if (m_optBusType[index]->isChecked()) {
            chosen = index;
            break;
        }
    }
    if (chosen < 0 && m_optBusType[0]->isChecked())
        chosen = 0;
    // Nothing is written for a choice that is not on the lists.
    if (chosen < 0) {
        MsgBox(m_frame1->title(), platform::vbOKOnly + platform::vbExclamation, QStringLiteral("Moxtrel"));
        return;
    }
    const int entry = m_cboDeviceID->currentIndex();
    if (chosen > 0 && entry < 0) {
        MsgBox(m_lblDeviceID->text(), platform::vbOKOnly + platform::vbExclamation, QStringLiteral("Moxtrel"));
        return;
    }

    comm.KVLClose();
    gBusChoice = short(chosen);
    switch (chosen) {
    case 0:
        comm.setBusType(BUS_TYPE_NONE);
        break;
    case 1:
        comm.setBusType(BUS_TYPE_PCI);
        comm.setDeviceID(entry);
        break;
    case 2:
        comm.setBusType(BUS_TYPE_GPIB);
        comm.setDeviceID(entry + 1);
        break;
    case 3:
    case 5:
        comm.setBusType(BUS_TYPE_RS232);
        setLinkPort(comm, short(entry + 1));
        setLinkSettings(comm, chosen == 3 ? kSerialSettings : kVcpSettings);
        break;
    case 4:
        comm.setBusType(BUS_TYPE_USB);
        comm.setDeviceID(entry + 1);
        break;
    default:
        break;
    }
    main->noteLinkChosen();

    closeOtherChildForms();
    platform::Clock::pumpOnce();
    {
        WaitCursor hourglass;
        const int answer = MsgBox(QStringLiteral("Do you want to reset controller"),
                                  platform::vbYesNo + platform::vbQuestion,
                                  QStringLiteral("Moxtrel Utility - Reset Controller"));
        InitializeController(answer == platform::vbYes);
        if (!self || !frmMain::instance())
            return;
        Form::instance<frmErrors>();
        main->SaveCommSettings(comm);
        comm.setInterval(frmMain::TickInterval);
        comm.setTimerEnabled(true);
    }
    main->UpdateStatusBar();
    gCommBroken = false;
}

void frmBusType::closeOtherChildForms()
{
    for (Form* form : Form::Forms()) {
        if (form != this && form->Visible() && form->Name() != QLatin1String("frmMain"))
            Form::Unload(form);
    }
}

void frmBusType::cmdRS232Setup_Click()
{
    CommLink comm(m_comm);
    if (comm.isNull())
        return;
    const int entry = m_cboDeviceID->currentIndex();
    if (entry < 0) {
        MsgBox(m_lblDeviceID->text(), platform::vbOKOnly + platform::vbExclamation, QStringLiteral("Moxtrel"));
        return;
    }
    const int remembered = comm.BusType();
    setLinkPort(comm, short(entry + 1));
    if (gBusChoice == 3)
        setLinkSettings(comm, kSerialSettings);
    else if (gBusChoice == 5)
        setLinkSettings(comm, kVcpSettings);
    if (remembered != m_pendingBusType)
        comm.setBusType(m_pendingBusType);

    frmCommProps* dialog = Form::instance<frmCommProps>();
    dialog->Show();

    if (comm.BusType() != remembered)
        comm.setBusType(remembered);
    selectEntry(comm.CommPort() - 1);
}

void frmBusType::cmdExit_Click()
{
    Form::Unload(this);
}

void frmBusType::chkStartup_Click()
{
    gFirstRun = m_chkStartup->isChecked();
}
