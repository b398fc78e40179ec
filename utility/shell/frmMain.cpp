#include "utility/shell/frmMain.h"

#include "library/link/BusType.h"
#include "library/link/CGuiState.h"
#include "platform/RuntimeError.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/Control.h"
#include "platform/kernel/Clock.h"
#include "platform/serial/SerialControl.h"
#include "platform/ui/MsgBox.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/EventWait.h"
#include "utility/shell/Form.h"
#include "utility/shell/LateEvent.h"
#include "utility/shell/MainMenu.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/SettingsStore.h"
#include "utility/shell/frmErrors.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

#include <limits>
#include <optional>

using namespace KvlXGlobal;
using namespace platform;

namespace {

QPointer<frmMain> g_main;
std::function<void(bool)> g_initializeController;
std::function<void()> g_showBusType;
std::function<void()> g_checkAmplifierPower;

const QString kSection = QStringLiteral("KVLComm");
const QString kDefaultSettings = QStringLiteral("19200,n,8,1");
const QString kDefaultVcpSettings = QStringLiteral("921600,n,8,1");
constexpr int kTickWrap = 1000000;

// A whole decimal number within [low, high], or nothing: a hand-edited store may hold anything.
std::optional<qint64> storedWhole(const QString& text, qint64 low, qint64 high)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok, 10);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

// The framing a serial link starts with: the virtual port of the USB choice runs faster.
QString defaultSerialSettings()
{
    return KvlXGlobal::gBusChoice == 5 ? kDefaultVcpSettings : kDefaultSettings;
}

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

frmMain::frmMain(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    g_main = this;

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("MDIClient"));
    // Windows placed beyond the visible part of the area can be scrolled to.
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);
    // Room for the panels side by side: most of the screen, in its middle.
    if (const QScreen* s = screen()) {
        const QRect available = s->availableGeometry();
        resize(size().expandedTo(available.size() * 9 / 10));
        move(available.center() - rect().center());
    }
    Form::setMdiArea(m_mdiArea);

    // The control library's communication control, created by its program identifier.
    m_comm = createObject(QStringLiteral("KVL410ActiveX.KVLComm"), this);
    if (m_comm) {
        m_comm->setObjectName(QStringLiteral("KVLComm1"));
        LateEvent::connect(m_comm, SIGNAL(Timer()), this, SLOT(KVLComm1_Timer()));
        LateEvent::connect(m_comm, SIGNAL(CommErrorEvent(short&)), this, SLOT(KVLComm1_CommErrorEvent(short&)));
        if (auto* control = qobject_cast<Control*>(m_comm.data()))
            connect(control, &Control::PropertyChanged, this, &frmMain::KVLComm1_PropertyChanged);
    }

    m_toolbar = addToolBar(QString());
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i)
        addPanel();

    m_dispatcher = new CommandDispatcher(this);
    m_menus = new MainMenu(this, m_toolbar, m_mdiArea, [this](const QString& key) { MenuDispatch(key); });
}

frmMain::~frmMain()
{
    if (Form::mdiArea() == m_mdiArea)
        Form::setMdiArea(nullptr);
}

frmMain* frmMain::instance()
{
    return g_main;
}

CommLink frmMain::KVLComm1() const
{
    return CommLink(m_comm);
}

// ---------------------------------------------------------------------------------------------
// Menus and toolbar

void frmMain::InitMenuKeys()
{
    m_menus->InitMenuKeys();
}

QMenu* frmMain::mnuMain(int index) const
{
    return m_menus->mnuMain(index);
}

QAction* frmMain::mnuFile(int index) const
{
    return m_menus->item(MainMenu::File, index);
}

QAction* frmMain::mnuSetup(int index) const
{
    return m_menus->item(MainMenu::Setup, index);
}

void frmMain::MenuDispatch(const QString& key)
{
    m_dispatcher->MenuDispatch(key);
}

void frmMain::DisableMenu()
{
    m_menus->setMenusEnabled(false);
    m_menus->setButtonsEnabled(false);
}

void frmMain::EnableMenu()
{
    m_menus->setMenusEnabled(true);
    m_menus->setButtonsEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// Status bar

QLabel* frmMain::addPanel()
{
    auto* panel = new QLabel(this);
    panel->setObjectName(QStringLiteral("Panel%1").arg(m_panels.size() + 1));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    statusBar()->addWidget(panel, m_panels.isEmpty() ? 1 : 0);
    m_panels.append(panel);
    return panel;
}

int frmMain::StatusBarPanelCount() const
{
    return m_panels.size();
}

QString frmMain::StatusBarPanelText(int index) const
{
    const QLabel* panel = m_panels.value(index - 1, nullptr);
    return panel ? panel->text() : QString();
}

void frmMain::setStatusBarPanelText(int index, const QString& text)
{
    if (QLabel* panel = m_panels.value(index - 1, nullptr))
        panel->setText(text);
}

void frmMain::UpdateStatusBar()
{
    CommLink comm = KVLComm1();
    setStatusBarPanelText(1, comm.IsOpen() ? QStringLiteral("Connected: ") + gModel : QStringLiteral("Disconnected"));

    if (m_panels.size() == 4) {
        QLabel* fourth = m_panels.takeLast();
        statusBar()->removeWidget(fourth);
        delete fourth;
    }

    const int bus = comm.BusType();
    switch (bus) {
    case 0:
        setStatusBarPanelText(1, QStringLiteral("Disconnected"));
        setStatusBarPanelText(2, QStringLiteral("Demo Mode"));
        setStatusBarPanelText(3, QString());
        break;
    case 1:
        setStatusBarPanelText(2, QStringLiteral("PCI"));
        setStatusBarPanelText(3, QStringLiteral("Board #: ") + QString::number(comm.DeviceID()));
        break;
    case 2:
        setStatusBarPanelText(2, QStringLiteral("GPIB"));
        setStatusBarPanelText(3, QStringLiteral("Device ID: ") + QString::number(comm.DeviceID()));
        break;
    case 3:
        setStatusBarPanelText(2, gBusChoice == 5 ? QStringLiteral("USB VCP") : QStringLiteral("RS232"));
        setStatusBarPanelText(3, QStringLiteral("COM") + QString::number(comm.CommPort()));
        addPanel()->setText(comm.Settings());
        break;
    case 4:
        setStatusBarPanelText(2, QStringLiteral("USB"));
        setStatusBarPanelText(3, QStringLiteral("Device ID: ") + QString::number(comm.DeviceID()));
        break;
    default:
        break;
    }

    if (QAction* driverItem = mnuSetup(4))
        driverItem->setText(gModel == QLatin1String("KVL7100") ? QStringLiteral("Axorn") : QStringLiteral("Motor Driver"));
}

// ---------------------------------------------------------------------------------------------
// Link settings

void frmMain::SaveCommSettings(CommLink comm)
{
    SavedLink link;
    if (m_fallenLink && comm.BusType() == BUS_TYPE_NONE)
        link = *m_fallenLink;
    else
        link = SavedLink{comm.BusType(), comm.CommPort(), comm.DeviceID(), comm.Settings()};
    SettingsStore::SaveSetting(kSection, QStringLiteral("BusType"), QString::number(link.bus));
    SettingsStore::SaveSetting(kSection, QStringLiteral("CommPort"), QString::number(link.port));
    SettingsStore::SaveSetting(kSection, QStringLiteral("DeviceID"), QString::number(link.device));
    // A framing the port refuses would fail every start again: the default is kept instead.
    if (!SerialControl::framingUsable(link.settings))
        link.settings = defaultSerialSettings();
    SettingsStore::SaveSetting(kSection, QStringLiteral("Baud"), link.settings);
    SettingsStore::SaveSetting(objectName(), QStringLiteral("FirstTime"), gFirstRun ? QStringLiteral("1")
                                                                                   : QStringLiteral("0"));
}

// A stored value that is no whole number or lies outside what the control can use takes the
// default, so a hand-edited store neither stops the program nor leaves it with a dead link.
void frmMain::GetCommSettings(CommLink comm)
{
    const bool vcp = gBusChoice == 5;

    const auto bus = storedWhole(SettingsStore::GetSetting(kSection, QStringLiteral("BusType"), QStringLiteral("0")),
                                 BUS_TYPE_NONE, BUS_TYPE_USB);
    comm.setBusType(int(bus.value_or(0)));

    const auto device = storedWhole(SettingsStore::GetSetting(kSection, QStringLiteral("DeviceID"), QStringLiteral("1")),
                                    0, std::numeric_limits<qint32>::max());
    comm.setDeviceID(int(device.value_or(1)));

    const auto port = storedWhole(SettingsStore::GetSetting(kSection, QStringLiteral("CommPort"),
                                                            vcp ? QStringLiteral("3") : QStringLiteral("1")),
                                  1, std::numeric_limits<short>::max());
    comm.setCommPort(short(port.value_or(vcp ? 3 : 1)));

    const QString defaultSettings = defaultSerialSettings();
    QString settings = SettingsStore::GetSetting(kSection, QStringLiteral("Baud"), defaultSettings);
    // The check a save makes: a framing the port refuses (4 data bits) would fail every start.
    if (!SerialControl::framingUsable(settings))
        settings = defaultSettings;
    try {
        comm.setSettings(settings);
    } catch (const RuntimeError&) {
        comm.setSettings(defaultSettings); // the serial layer refused the stored text
    }
    noteLinkChosen();
}

void frmMain::noteLinkChosen()
{
    m_fallenLink.reset();
}

int frmMain::fallenBusType() const
{
    return m_fallenLink ? m_fallenLink->bus : BUS_TYPE_NONE;
}

// ---------------------------------------------------------------------------------------------
// Load

void frmMain::Show()
{
    if (!m_loaded)
        MDIForm_Load();
    else
        show();
}

void frmMain::MDIForm_Load()
{
    m_loaded = true;
    m_loading = true;
    CommLink comm = KVLComm1();

    setWindowTitle(QStringLiteral("Moxtrel ") + QStringLiteral("Version 5.1"));
    comm.setTimerEnabled(false);
    InitMenuKeys();
    m_guiState = comm.GetGuiStateObject();
    gChildFormNames = QStringList{
        QStringLiteral("frmJog"),         QStringLiteral("frmTrajectory"),  QStringLiteral("frmErrors"),
        QStringLiteral("frmCycle"),       QStringLiteral("frmHome"),        QStringLiteral("frmPosition"),
        QStringLiteral("frmEnable"),      QStringLiteral("frmStop"),        QStringLiteral("frmProperties"),
        QStringLiteral("frmSetupTabs"),   QStringLiteral("frmErrors"),      QStringLiteral("frmHardwareStatus"),
        QStringLiteral("frmSetupUnits"),  QStringLiteral("frmInterpolation"), QStringLiteral("frmAbout"),
        QStringLiteral("frmADC"),         QStringLiteral("frmErrComp"),     QStringLiteral("frmSetupAxorn"),
        QStringLiteral("frmBusType"),     QStringLiteral("frmLoadApp"),     QStringLiteral("frmSetupHardware"),
        QStringLiteral("frmMasterSlave"), QStringLiteral("frmCommProps"),   QStringLiteral("statusFlash"),
    };

    WaitCursor hourglass;
    comm.setTimerEnabled(false);
    show();

    GetCommSettings(comm);

    const auto firstTime = storedWhole(SettingsStore::GetSetting(objectName(), QStringLiteral("FirstTime"),
                                                                 QStringLiteral("1")),
                                       std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    if (firstTime.value_or(1) != 1) {
        gFirstRun = false;
        if (!gCommBroken) {
            const int answer = MsgBox(QStringLiteral("Do you want to reset controller"), vbYesNo + vbQuestion,
                                      QStringLiteral("Moxtrel Utility - Reset Controller"));
            // Told to close while the question waited: the program ends without opening the link.
            if (!m_closePending)
                InitializeController(answer == vbYes);
        }
        gCommBroken = false;
    } else {
        gFirstRun = true;
        ShowBusType();
    }

    UpdateStatusBar();
    Clock::pumpOnce();
    setEnabled(true);

    Form::instance<frmErrors>();

    comm.setInterval(TickInterval);
    comm.setTimerEnabled(true);

    m_loading = false;
    if (m_closePending)
        closeWhenIdle();
}

// ---------------------------------------------------------------------------------------------
// Hand-overs

void frmMain::setInitializeControllerHandler(std::function<void(bool)> handler)
{
    g_initializeController = std::move(handler);
}

void frmMain::setShowBusTypeHandler(std::function<void()> handler)
{
    g_showBusType = std::move(handler);
}

void frmMain::setCheckAmplifierPowerHandler(std::function<void()> handler)
{
    g_checkAmplifierPower = std::move(handler);
}

void frmMain::InitializeController(bool bReset)
{
    if (g_initializeController) {
        g_initializeController(bReset);
        return;
    }
    CommLink comm = KVLComm1();
    comm.KVLInit();
    comm.KVLOpen();
}

void frmMain::ShowBusType()
{
    if (g_showBusType)
        g_showBusType();
}

void frmMain::CheckAmplifierPower()
{
    if (g_checkAmplifierPower)
        g_checkAmplifierPower();
}

void frmMain::InitError()
{
    const int answer = MsgBox(QStringLiteral("System initialization failed.\r\nDo you want to continue?"),
                              vbYesNo + vbCritical, QStringLiteral("Initialization Error"));
    if (answer == vbYes)
        ShowBusType();
}

// ---------------------------------------------------------------------------------------------
// Link events

void frmMain::KVLComm1_Timer()
{
    ++m_tickCounter;
    if (m_tickCounter > kTickWrap)
        m_tickCounter = 0;
    if (m_tickCounter % 100 == 0)
        UpdateStatusBar();
    if (KVLComm1().BusType() == BUS_TYPE_PCI && m_tickCounter % 40 == 0)
        CheckAmplifierPower();
}

void frmMain::KVLComm1_PropertyChanged(const QString& name)
{
    if (name != QLatin1String("BusType"))
        return;
    m_previousBus = m_currentBus;
    CommLink comm = KVLComm1();
    m_currentBus = comm.BusType();
    // The control fell to no bus by itself: the link that was in force is kept for the store. The
    // port, address and framing are still the ones it had.
    if (m_currentBus == BUS_TYPE_NONE && m_previousBus != BUS_TYPE_NONE && !CommLink::settingBusType()) {
        m_fallenLink = SavedLink{m_previousBus, comm.CommPort(), comm.DeviceID(), comm.Settings()};
        // Said at once: the failure boxes that follow wait for the user.
        showDemoMode();
    }
}

void frmMain::showDemoMode()
{
    for (int i = 1; i <= StatusBarPanelCount(); ++i)
        setStatusBarPanelText(i, QString());
    setStatusBarPanelText(1, QStringLiteral("Disconnected"));
    setStatusBarPanelText(2, QStringLiteral("Demo Mode"));
}

void frmMain::KVLComm1_CommErrorEvent(short& ErrorNum)
{
    for (Form* form : Form::Forms()) {
        if (form->Name() != objectName())
            form->Hide();
    }

    // The control has already switched itself to demo mode: the bus that failed is the one before.
    const int failedBus = m_currentBus == BUS_TYPE_NONE ? m_previousBus : m_currentBus;
    QString text;
    if (ErrorNum <= 0) {
        text = QStringLiteral("A break in communications has been detected. System will be set to Demo Mode");
    } else if (ErrorNum == 1001) {
        text = QStringLiteral("A break in communications has occurred\r\n\r\n");
        if (failedBus == BUS_TYPE_GPIB)
            text += QStringLiteral("Please check all cables, reset controller and try again.\r\n");
        text += QStringLiteral("The application will be set to demo mode now");
    } else if (ErrorNum == 8005) {
        text = QStringLiteral("A Port Not Available Error has occurred.")
            + QStringLiteral("Restart both Moxtrel and The Motion Controller");
    } else {
        text = QStringLiteral("An unhandled exception error has occurred - ") + QString::number(ErrorNum);
    }

    gCommBroken = true;
    showDemoMode();
    MsgBox(text, vbOKOnly + vbCritical, QStringLiteral("!Error"));
}

// ---------------------------------------------------------------------------------------------
// Shutdown

void frmMain::closeEvent(QCloseEvent* event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    // A wait with events running is still on the stack, or the load has not finished: the close
    // happens once that is over.
    if (m_loading || EventWait::busy()) {
        event->ignore();
        if (!m_closePending) {
            m_closePending = true;
            if (!m_loading)
                closeWhenIdle();
        }
        return;
    }
    int cancel = 0;
    MDIForm_QueryUnload(cancel, Form::vbFormControlMenu);
    MDIForm_Unload(0);
    m_closed = true;
    event->accept();
    QCoreApplication::quit();
}

void frmMain::closeWhenIdle()
{
    EventWait::runWhenIdle(this, [this] {
        m_closePending = false;
        close();
    });
}

void frmMain::MDIForm_QueryUnload(int& Cancel, int UnloadMode)
{
    Q_UNUSED(Cancel);
    Q_UNUSED(UnloadMode);
    gAppClosing = true;
    for (Form* form : Form::Forms()) {
        if (form->Name() != objectName())
            Form::Unload(form, Form::vbFormMDIForm);
    }
}

void frmMain::MDIForm_Unload(int Cancel)
{
    SaveCommSettings(KVLComm1());
    if (Cancel == 1) {
        WaitCursor hourglass;
        close();
    }
}
