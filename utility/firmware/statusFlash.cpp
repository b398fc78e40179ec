#include "utility/firmware/statusFlash.h"

#include "library/link/BusType.h"
#include "platform/drivers/PciDriver.h"
#include "platform/kernel/Clock.h"
#include "platform/ui/FileDialog.h"
#include "platform/ui/MsgBox.h"
#include "utility/firmware/FirmwareFiles.h"
#include "utility/firmware/FirmwareTransfer.h"
#include "utility/shell/AnswerCheck.h"
#include "utility/shell/CommandDispatcher.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/ErrorDisplay.h"
#include "utility/shell/EventWait.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/LinkOwnerLockOut.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/WaitAnimation.h"
#include "utility/shell/frmMain.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace platform;
using namespace KvlXGlobal;

namespace {

const QString kCR = QStringLiteral("\r");
const QString kTitle = QStringLiteral("KVL Firmware Update");
const QString kBadHeader = QStringLiteral("Not A Valid KVL Firmware Program.");
const QString kFolderRoot = QStringLiteral("Controllers");
const QString kFwrFilter = QStringLiteral("(*.fwr) | *.fwr");

constexpr int kDesignWidth = 6300; // twips
constexpr int kDesignHeight = 3300;

// Captions and tool tips by model, tested in this order; a model not listed takes the last row.
struct ModelRow {
    const char* model;
    const char* firmwareCaption;
    const char* firmwareTip;
    const char* fpgaTip; // null: no FPGA button
};
const ModelRow kModels[] = {
    {"KVL200", "Download Firmware", "Download the firmware (.fwr) file to the KVL200 controller",
     "Download the FPGA firmware (.hex) file to the KVL200 controller"},
    {"KVL400", "Download Firmware", "Download the firmware (.fwr) file to the KVL400 controller",
     "Download the FPGA firmware (.hex) file to the KVL400 controller"},
    {"KVL7100", "Download Firmware", "Download the firmware (.fwr) file to the KVL7100 controller", nullptr},
    {"KVL8100", "Download DSP and\r\nCPU Firmware",
     "Download the DSP and CPU firmware (.fwr) file to the KVL8100 controller", nullptr},
    {"KVL-Quill", "Download Firmware", "Download the firmware (.fwr) file to the KVL-Quill controller",
     "Download the FPGA firmware (.hex) file to the KVL-Quill controller"},
    {nullptr, "Download Firmware", "Download the firmware (.fwr) file to the KVL controller", nullptr},
};

const ModelRow& rowOf(const QString& model)
{
    for (const ModelRow& row : kModels) {
        if (!row.model || model == QLatin1String(row.model))
            return row;
    }
    return kModels[std::size(kModels) - 1];
}

// The download commands over the command link, by model; empty: the model takes none.
QString firmwareCommand(const QString& model)
{
    if (model == QLatin1String("KVL400"))
        return QStringLiteral("Download 400");
    if (model == QLatin1String("KVL200"))
        return QStringLiteral("Download 200");
    if (model == QLatin1String("KVL-Quill"))
        return QStringLiteral("Download 5000");
    return QString();
}

QString fpgaCommand(const QString& model)
{
    if (model == QLatin1String("KVL400"))
        return QStringLiteral("Download 420");
    if (model == QLatin1String("KVL200"))
        return QStringLiteral("Download 220");
    return QString();
}

QString modelName()
{
    return gModel.isEmpty() ? QStringLiteral("KVL") : gModel;
}

int percent(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return 100;
    return int(std::clamp<double>(std::nearbyint(double(part) / double(whole) * 100.0), 0.0, 100.0));
}

} // namespace

// One running download: the busy flag, both buttons disabled, and a wait in progress, so a close
// of the main window (the user's, or the session's end) is put off until the download has
// finished or failed and then happens the ordinary way; at its end the buttons take the states
// the download left for them.
class statusFlash::Run {
public:
    explicit Run(statusFlash* window)
        : m_window(window)
    {
        window->m_busy = true;
        window->m_bus = window->mobjX.BusType();
        window->m_transfer = FirmwareTransfer(window->mobjX, window->m_bus);
        window->m_finalFirmware = window->m_cmdLoadFirmware->isEnabled();
        window->m_finalFpga = window->m_cmdLoadFpga->isEnabled();
        window->m_firmwareBefore = window->m_finalFirmware;
        window->m_fpgaBefore = window->m_finalFpga;
        window->m_cmdLoadFirmware->setEnabled(false);
        window->m_cmdLoadFpga->setEnabled(false);
    }
    ~Run()
    {
        if (m_window) {
            m_window->m_busy = false;
            m_window->m_cmdLoadFirmware->setEnabled(m_window->m_finalFirmware);
            m_window->m_cmdLoadFpga->setEnabled(m_window->m_finalFpga);
        }
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

private:
    QPointer<statusFlash> m_window;
    EventWait m_wait;
};

statusFlash::statusFlash()
    : Form(QStringLiteral("statusFlash"))
{
    setWindowTitle(kTitle);
    setBorderStyle(vbFixedDialog);

    m_cmdLoadFirmware = new QPushButton(QStringLiteral("Load Firmware"), this);
    m_cmdLoadFirmware->setObjectName(QStringLiteral("cmdLoadFirmware"));
    m_cmdLoadFpga = new QPushButton(QStringLiteral("Load FPGA"), this);
    m_cmdLoadFpga->setObjectName(QStringLiteral("cmdLoadFpga"));
    for (QPushButton* button : {m_cmdLoadFirmware, m_cmdLoadFpga})
        button->setMinimumHeight(44); // room for the two-line caption
    connect(m_cmdLoadFirmware, &QPushButton::clicked, this, &statusFlash::cmdLoadFirmware_Click);
    connect(m_cmdLoadFpga, &QPushButton::clicked, this, &statusFlash::cmdLoadFpga_Click);

    m_lblUpdate = new QLabel(QStringLiteral("Select"), this);
    m_lblUpdate->setObjectName(QStringLiteral("lblUpdate"));
    QFont bold = m_lblUpdate->font();
    bold.setBold(true);
    m_lblUpdate->setFont(bold);
    m_lblFileName = new QLabel(this);
    m_lblFileName->setObjectName(QStringLiteral("lblFileName"));
    m_lblFileName->setWordWrap(true);
    m_progFlash = new QProgressBar(this);
    m_progFlash->setObjectName(QStringLiteral("progFlash"));
    m_progFlash->setRange(0, 100);
    m_progFlash->setValue(0);
    m_animation = new WaitAnimation(this);
    m_animation->setObjectName(QStringLiteral("Animation1"));
    m_animation->hide();

    auto* status = new QVBoxLayout;
    status->addWidget(m_lblUpdate);
    status->addWidget(m_lblFileName);
    status->addWidget(m_progFlash);
    auto* top = new QHBoxLayout;
    top->addWidget(m_animation, 0, Qt::AlignTop);
    top->addLayout(status, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdLoadFirmware);
    buttons->addWidget(m_cmdLoadFpga);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

statusFlash* statusFlash::Open()
{
    for (Form* form : Form::Forms()) {
        if (auto* window = dynamic_cast<statusFlash*>(form)) {
            // A window left loaded and hidden closed its download the way closing does: opening
            // it again takes the same steps as its first opening.
            if (!window->Visible())
                window->opening();
            return window;
        }
    }
    auto* window = new statusFlash();
    window->Load();
    return window;
}

void statusFlash::Install()
{
    CommandDispatcher::setWindow(QStringLiteral("statusFlash"), [] { return static_cast<Form*>(Open()); });
}

bool statusFlash::IsValidFirmwareHeader(const short header[4])
{
    static const short expected[4] = {2, 13, 10, 36};
    for (int i = 0; i < 4; ++i) {
        if (header[i] != expected[i])
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void statusFlash::Form_Load()
{
    setWidth(kDesignWidth);
    setHeight(kDesignHeight);
    opening();
}

void statusFlash::opening()
{
    frmMain* main = frmMain::instance();
    if (main)
        mobjX = main->KVLComm1();
    RestoreFormPosition(this);
    if (!mobjX.isNull())
        mobjX.setTimerEnabled(false);

    // Every other visible window is hidden (the cycle window unloaded) and not shown again here.
    QList<Form*> shown;
    for (Form* form : Form::Forms()) {
        if (form != this && !form->Name().contains(QLatin1String("frmMain")) && form->Visible())
            shown << form;
    }
    for (Form* form : std::as_const(shown)) {
        if (form->Name() == QLatin1String("frmCycle"))
            Form::Unload(form);
        else
            form->Hide();
    }

    RestoreFormPosition(this);
    m_cmdLoadFirmware->setVisible(true);
    m_cmdLoadFpga->setVisible(true);
    if (main)
        main->DisableMenu();
    setCaptionsByModel();

    Show();
    setEnabled(true);
    if (main) {
        const int toolbar = main->Toolbar1() ? main->Toolbar1()->height() * TwipsPerPixel : 0;
        const int statusBar = main->statusBar()->height() * TwipsPerPixel;
        const int mainWidth = main->width() * TwipsPerPixel;
        const int mainHeight = main->height() * TwipsPerPixel;
        // Kept inside the main window's area when that is smaller than this window.
        setLeft(std::max(0, mainWidth / 2 - Width() / 2));
        setTop(std::max(0, mainHeight / 2 - Height() / 2 - toolbar - statusBar));
    }
}

void statusFlash::setCaptionsByModel()
{
    const ModelRow& row = rowOf(gModel);
    QString caption = QString::fromLatin1(row.firmwareCaption);
    caption.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_cmdLoadFirmware->setText(caption);
    m_cmdLoadFirmware->setToolTip(QString::fromLatin1(row.firmwareTip));
    if (row.fpgaTip) {
        m_cmdLoadFpga->setText(QStringLiteral("Download FPGA"));
        m_cmdLoadFpga->setToolTip(QString::fromLatin1(row.fpgaTip));
    } else {
        m_cmdLoadFpga->setVisible(false);
    }
}

void statusFlash::Form_QueryUnload(int& Cancel, int UnloadMode)
{
    Q_UNUSED(UnloadMode);
    // The download's own loop is still running under this window.
    if (m_busy)
        Cancel = 1;
}

void statusFlash::Form_Unload(int& Cancel)
{
    Q_UNUSED(Cancel);
    stopAnimation();
    if (!mobjX.isNull())
        mobjX.setTimerEnabled(true);
    m_cmdLoadFirmware->setEnabled(true);
    m_cmdLoadFpga->setEnabled(true);
    SaveFormPosition(this);
    if (frmMain* main = frmMain::instance())
        main->EnableMenu();
}

// ---------------------------------------------------------------------------------------------
// Buttons

void statusFlash::cmdLoadFirmware_Click()
{
    if (gModel == QLatin1String("KVL7100"))
        run(&statusFlash::DownloadFirmwarePci, true);
    else if (gModel == QLatin1String("KVL8100"))
        run(&statusFlash::DownloadDspCpuFirmware, true);
    else
        run(&statusFlash::DownloadFirmwareComm, true);
}

void statusFlash::cmdLoadFpga_Click()
{
    run(&statusFlash::DownloadFpga, false);
}

// Each button disables the other one; the download then runs under its busy state, and the
// window closes once that state is over.
void statusFlash::run(Ending (statusFlash::*download)(), bool firmwareButton)
{
    if (m_busy)
        return;
    Ending ending = Ending::Stay;
    {
        Run running(this);
        LinkOwnerLockOut lockOut(this);
        if (firmwareButton)
            m_finalFpga = false;
        else
            m_finalFirmware = false;
        ending = (this->*download)();
    }
    if (ending == Ending::Unload) {
        stopAnimation();
        Form::Unload(this);
    }
}

// ---------------------------------------------------------------------------------------------
// Firmware over the command link

statusFlash::Ending statusFlash::DownloadFirmwareComm()
{
    const int priorAddress = mobjX.DeviceID();
    if (refuseUnsuitableLink())
        return Ending::Stay;
    const QString command = firmwareCommand(gModel);
    if (command.isEmpty()) {
        refuse(QStringLiteral("Firmware download is not supported for the ") + modelName()
                   + QStringLiteral(" controller. Nothing was sent."),
               vbOKOnly + vbExclamation, kTitle);
        return Ending::Stay;
    }

    const QString path = chooseFile(QString(), FirmwareFiles::dialogFolder(gModel, QStringLiteral("Fwr")), kFwrFilter);
    if (path.isEmpty())
        return Ending::Stay;
    QByteArray image;
    if (!prepareImage(path, QStringLiteral("tmp.xxx"), true, &image) || !carriedByBus(image, path))
        return Ending::Stay;
    Clock::pumpOnce();
    if (duplicateAddressCancelled())
        return Ending::Stay;

    playAnimation();
    if (!downloadLines(image, command + kCR, true, true, path) || !confirmEnd())
        return Ending::Unload;
    if (resetAnswered()) {
        Hide();
        reinitialize();
        if (m_bus == BUS_TYPE_GPIB && mobjX.BusType() == BUS_TYPE_GPIB)
            readdress(priorAddress);
    }
    return Ending::Unload;
}

statusFlash::Ending statusFlash::DownloadFpga()
{
    if (refuseUnsuitableLink())
        return Ending::Stay;
    const QString command = fpgaCommand(gModel);
    if (command.isEmpty()) {
        refuse(gModel + QStringLiteral(" Doesn't require FPGA Firmware"), vbOKOnly, QString());
        return Ending::Stay;
    }
    m_finalFpga = false;

    const QString path = chooseFile(QString(), FirmwareFiles::dialogFolder(gModel, QStringLiteral("fpga")),
                                    QStringLiteral("(*.hex) | *.hex"));
    if (path.isEmpty())
        return Ending::Stay;
    QByteArray image;
    if (!prepareImage(path, QStringLiteral("tmp.xxx"), false, &image) || !carriedByBus(image, path)) {
        closingSteps();
        return Ending::Stay;
    }
    playAnimation();
    const bool done = downloadLines(image, command + kCR, false, false, path) && confirmEnd();
    stopAnimation();
    Hide();
    if (!done) {
        closingSteps();
        return Ending::Stay;
    }
    m_finalFpga = true;
    if (!resetAnswered()) {
        if (frmMain* main = frmMain::instance())
            main->EnableMenu();
        mobjX.setTimerEnabled(true);
        return Ending::Stay;
    }
    reinitialize();
    closingSteps();
    return Ending::Stay;
}

// ---------------------------------------------------------------------------------------------
// The PCI board

statusFlash::Ending statusFlash::DownloadFirmwarePci()
{
    if (refuseUnsuitableLink())
        return Ending::Stay;
    if (m_bus != BUS_TYPE_PCI) {
        refuse(QStringLiteral("Please select PCI communication interface for downloading KVL7100 firmware."),
               vbOKOnly + vbCritical, QStringLiteral("Download Firmware"));
        return Ending::Stay;
    }
    const QString path = chooseFile(QString(), FirmwareFiles::dialogFolder(QStringLiteral("KVL7100"),
                                                                           QStringLiteral("fwr")), kFwrFilter);
    if (path.isEmpty())
        return Ending::Stay;
    playAnimation();
    QByteArray image;
    QString copy;
    if (!prepareImage(path, QStringLiteral("tmp.xxx"), false, &image, &copy))
        return Ending::Stay;
    Clock::pumpOnce();
    const int estimate = int(std::lround(double(image.size()) / 3.0));

    frmMain* main = frmMain::instance();
    if (main)
        main->DisableMenu();
    if (kvl_open_flash_file(QFile::encodeName(copy).constData()) != 0) {
        kvl_close_flash_file();
        if (main)
            main->EnableMenu();
        MsgBox(QStringLiteral("The PCI board could not open the firmware file. Nothing was written."),
               vbOKOnly + vbCritical, kTitle);
        return Ending::Stay;
    }
    short header[4];
    for (short& value : header)
        value = ReadFirstChar();
    if (!IsValidFirmwareHeader(header)) {
        badHeader();
        kvl_close_flash_file();
        if (frmMain* still = frmMain::instance())
            still->EnableMenu();
        return Ending::Stay;
    }
    kvl_read_to_comma();
    kvl_start_talker();
    kvl_flash_strobe(0);

    m_lblUpdate->setText(QStringLiteral("Erasing Flash"));
    m_progFlash->hide();
    Clock::pumpOnce();
    const short erased = kvl_flash_erase();
    if (erased != 0) {
        kvl_close_flash_file();
        m_transfer.setFailure(QStringLiteral("The PCI board did not erase its flash (status %1).").arg(erased));
        flashIncomplete();
        return Ending::Unload;
    }
    showStage(path, std::max(estimate, 1));

    short status = 0;
    qint64 count = 0;
    while (status == 0) {
        for (int call = 0; call < PciBlockCalls; ++call) {
            status = kvl_write_flash_word();
            if (status != 0)
                break;
            ++count;
        }
        // The estimate may fall short of the words the file holds.
        const int shown = int(std::min<qint64>(count, std::numeric_limits<int>::max()));
        m_progFlash->setMaximum(std::max(m_progFlash->maximum(), shown));
        m_progFlash->setValue(shown);
        Clock::pumpOnce();
    }
    if (status != -1) {
        kvl_close_flash_file();
        m_transfer.setFailure(QStringLiteral("The PCI board refused firmware word %1 (status %2).").arg(count + 1).arg(status));
        flashIncomplete();
        return Ending::Unload;
    }

    Hide();
    const short strobed = kvl_flash_strobe(1);
    kvl_close_flash_file();
    if (strobed != 0) {
        m_transfer.setFailure(QStringLiteral("The PCI board did not finish the flash (status %1).").arg(strobed));
        flashIncomplete();
        return Ending::Unload;
    }
    QFile::remove(copy);
    reinitialize();
    return Ending::Unload;
}

// ---------------------------------------------------------------------------------------------
// The two-stage download: DSP image, then CPU image

statusFlash::Ending statusFlash::DownloadDspCpuFirmware()
{
    const int priorAddress = mobjX.DeviceID();
    if (refuseUnsuitableLink())
        return Ending::Stay;
    const QString model = QStringLiteral("KVL8100");
    if (MsgBox(QStringLiteral("Because the KVL8100 has both a DSP and a CPU Firmware,\r\n"
                              "you need to select both a DSP firmware file and a CPU firmware file.\r\n"
                              "Please select the DSP firmware file first. You will then be prompted\r\n"
                              "for the CPU Firmware"),
               vbOKCancel + vbExclamation, model)
        == vbCancel)
        return Ending::Stay;
    const QString folder = FirmwareFiles::dialogFolder(model, QStringLiteral("fwr"));
    const QString dspPath = chooseFile(QStringLiteral("KVL8100 DSP Firmware"), folder, kFwrFilter);
    if (dspPath.isEmpty())
        return Ending::Stay;
    if (MsgBox(QStringLiteral("Now select the CPU firmware file"), vbOKCancel + vbExclamation, model) == vbCancel)
        return Ending::Stay;
    const QString cpuPath = chooseFile(QStringLiteral("KVL8100 CPU Firmware"), folder,
                                       QStringLiteral("(*.exe) | *.exe"));
    if (cpuPath.isEmpty())
        return Ending::Stay;

    QByteArray dsp;
    QByteArray cpu;
    if (!prepareImage(dspPath, QStringLiteral("tmp.xxx"), true, &dsp)
        || !prepareImage(cpuPath, QStringLiteral("tmpCPU.xxx"), false, &cpu) || !carriedByBus(dsp, dspPath)
        || !carriedByBus(cpu, cpuPath))
        return Ending::Stay;
    playAnimation();
    Clock::pumpOnce();
    if (duplicateAddressCancelled())
        return Ending::Stay;

    // A failure leaves the window as it stands; one that the link's failure hid is closed, so the
    // menus it holds disabled come back.
    auto failed = [this] { return Visible() ? Ending::Stay : Ending::Unload; };
    auto stop = [this, &failed] {
        flashIncomplete();
        return failed();
    };

    m_finalFirmware = false;
    if (!downloadLines(dsp, QStringLiteral("Download 8100") + kCR, true, true, dspPath))
        return failed();
    if (!m_transfer.pause(1000))
        return stop();

    const qint64 total = cpu.size();
    if (!m_transfer.checked(mobjX.SendAscii(QStringLiteral("Download 8386") + kCR),
                            QStringLiteral("the CPU download command"))
        || !m_transfer.pause(500))
        return stop();
    // The DSP stage's last reply must not pass for the CPU stage's "Ready".
    QString reply;
    if (!m_transfer.waitFor(reply, QStringLiteral("Ready"), false, 500, CpuReadyLimitMs))
        return stop();
    showStage(cpuPath, 100);
    if (!m_transfer.checked(mobjX.SendAscii(QString::number(total) + kCR), QStringLiteral("the CPU image's size"))
        || !m_transfer.pause(1000))
        return stop();

    const bool gpib = m_bus == BUS_TYPE_GPIB;
    const int piece = gpib ? CpuPieceGpib : CpuPieceOther;
    for (qint64 position = 0; position < total;) {
        const int n = int(std::min<qint64>(piece, total - position));
        const QByteArray bytes = cpu.mid(position, n);
        const int status = gpib ? mobjX.SendAsciiGPIBLength(bytes, short(n)) : m_transfer.sendBytes(bytes);
        if (!m_transfer.checked(status, QStringLiteral("the CPU image")))
            return stop();
        position += n;
        m_progFlash->setValue(percent(position, total));
        Clock::pumpOnce();
    }
    // The CPU stage reports nothing: a cable pulled part way shows only in the silence after it.
    if (!confirmEnd())
        return failed();

    if (!resetAnswered())
        return Ending::Stay;
    Hide();
    reinitialize();
    if (gpib && mobjX.BusType() == BUS_TYPE_GPIB)
        readdress(priorAddress);
    m_finalFirmware = true;
    return Ending::Unload;
}

// ---------------------------------------------------------------------------------------------
// Shared steps

// Demo mode and a closed link have no controller to write to: refused before anything is sent.
bool statusFlash::refuseUnsuitableLink()
{
    if (mobjX.isNull() || m_bus == BUS_TYPE_NONE) {
        refuse(QStringLiteral("Firmware cannot be downloaded in demo mode. Select a bus with the controller "
                              "connected and try again."),
               vbOKOnly + vbExclamation, kTitle);
        return true;
    }
    if (!mobjX.IsOpen()) {
        refuse(QStringLiteral("The link to the controller is not open. Nothing was sent."), vbOKOnly + vbExclamation,
               kTitle);
        return true;
    }
    return false;
}

QString statusFlash::chooseFile(const QString& title, const QString& folder, const QString& filter)
{
    return GetOpenFileName(this, title, folder, filter);
}

// The temporary copy, read whole and checked before anything is sent. A failure is shown and
// sends nothing.
bool statusFlash::prepareImage(const QString& path, const QString& copyName, bool checkHeader, QByteArray* image,
                               QString* copyPath)
{
    const QString copy = FirmwareFiles::temporaryCopyPath(copyName);
    QString error;
    if (!FirmwareFiles::copy(path, copy, &error) || !FirmwareFiles::readAll(copy, image, &error)) {
        MsgBox(error + QStringLiteral("\r\nNothing was sent to the controller."), vbOKOnly + vbCritical, kTitle);
        return false;
    }
    if (copyPath)
        *copyPath = copy;
    if (image->isEmpty()) {
        MsgBox(QStringLiteral("The file ") + QDir::toNativeSeparators(path)
                   + QStringLiteral(" is empty.\r\nNothing was sent to the controller."),
               vbOKOnly + vbCritical, kTitle);
        return false;
    }
    if (checkHeader) {
        short header[4] = {-1, -1, -1, -1};
        for (int i = 0; i < 4 && i < image->size(); ++i)
            header[i] = short(static_cast<unsigned char>(image->at(i)));
        if (!IsValidFirmwareHeader(header)) {
            badHeader();
            return false;
        }
    }
    return true;
}

// The PCI board's send takes C strings: an image holding a NUL byte would go out cut at every NUL
// while each send reports success. Such an image is refused before anything is sent.
bool statusFlash::carriedByBus(const QByteArray& image, const QString& path)
{
    if (m_bus != BUS_TYPE_PCI || !image.contains('\0'))
        return true;
    refuse(QStringLiteral("The file ") + QDir::toNativeSeparators(path)
               + QStringLiteral(" holds NUL bytes, which the PCI bus cannot carry.\r\nNothing was sent to the "
                                "controller."),
           vbOKOnly + vbCritical, kTitle);
    return false;
}

// The error list is not polled while this window is open: the operator sees a box as well.
void statusFlash::badHeader()
{
    ShowError(kBadHeader, 0);
    MsgBox(kBadHeader, vbOKOnly + vbCritical, kTitle);
}

bool statusFlash::duplicateAddressCancelled()
{
    if (!mobjX.IsAnotherDeviceAtGPIB1() || mobjX.BusType() != BUS_TYPE_GPIB)
        return false;
    return MsgBox(QStringLiteral("Another GPIB device has been detected at the default\r\n"
                                 "GPIB Address 1. Please shut off device and press 'OK'\r\n"
                                 "to continue or press 'Cancel' to abort firmware download"),
                  vbOKCancel + vbExclamation, QStringLiteral("Duplicate Address Found"))
        == vbCancel;
}

// The command, the erase wait, the lines and the completion wait. False after a failure, which
// has been reported.
bool statusFlash::downloadLines(const QByteArray& image, const QString& command, bool readyAtStart, bool etxRule,
                                const QString& path)
{
    m_transfer.erasing = [this] {
        m_lblUpdate->setText(QStringLiteral("Erasing Flash"));
        m_progFlash->hide();
        Clock::pumpOnce();
    };
    m_transfer.sendingLines = [this, &path] { showStage(path, 100); };
    m_transfer.progress = [this](int percent) {
        m_progFlash->setValue(percent);
        Clock::pumpOnce();
    };
    const bool done = m_transfer.downloadLines(image, command, readyAtStart, etxRule);
    m_transfer.erasing = {};
    m_transfer.sendingLines = {};
    m_transfer.progress = {};
    if (!done)
        flashIncomplete();
    return done;
}

// Refused with a message: the buttons stay as they were before the click.
void statusFlash::refuse(const QString& prompt, int style, const QString& title)
{
    MsgBox(prompt, style, title);
    m_finalFirmware = m_firmwareBefore;
    m_finalFpga = m_fpgaBefore;
}

// A program that is closing starts no initialisation (with its reset and restart wait) on its way
// out: the flash is written, and the next start asks whether to reset.
void statusFlash::reinitialize()
{
    if (!programClosing())
        InitializeController(true);
}

bool statusFlash::programClosing()
{
    frmMain* main = frmMain::instance();
    return !main || main->closePending() || gAppClosing;
}

// Nothing is read while an image goes out: the download is done only once the controller answers.
bool statusFlash::confirmEnd()
{
    QString why;
    if (AnswerCheck::controllerAnswers(mobjX, m_bus, &why))
        return true;
    m_transfer.setFailure(QStringLiteral("The image was sent, but nothing confirms that it arrived. ") + why);
    flashIncomplete();
    return false;
}

void statusFlash::flashIncomplete()
{
    MsgBox(QStringLiteral("The firmware download failed. ") + m_transfer.failure()
               + QStringLiteral("\r\n\r\nThe controller's flash memory is incomplete and must be written again."),
           vbOKOnly + vbCritical, kTitle);
}

bool statusFlash::resetAnswered()
{
    if (programClosing())
        return false;
    return MsgBox(QStringLiteral("Download complete. For the change to take effect, you need to reset the controller.")
                      + QStringLiteral("\r\nDo you want to reset now?"),
                  vbYesNo, QStringLiteral("Reset!!!"))
        == vbYes;
}

// The new firmware answers at the default GPIB address 1: it is moved back to the address in use.
void statusFlash::readdress(int priorAddress)
{
    mobjX.setDeviceID(1);
    mobjX.KVLOpen();
    mobjX.SendAscii(QStringLiteral("SA") + QString::number(priorAddress) + kCR);
    DelayMs(50);
    mobjX.setDeviceID(priorAddress);
    mobjX.KVLOpen();
    mobjX.SendAscii(QStringLiteral("SM") + kCR);
}

void statusFlash::showStage(const QString& path, int maximum)
{
    m_lblFileName->setText(QDir::toNativeSeparators(path));
    m_progFlash->setRange(0, maximum);
    m_progFlash->setValue(0);
    m_progFlash->show();
    m_lblUpdate->setText(QStringLiteral("Download in Progress"));
    Clock::pumpOnce();
}

void statusFlash::playAnimation()
{
    m_animation->play(WaitAnimation::defaultFile());
}

void statusFlash::stopAnimation()
{
    m_animation->stop();
}

QLabel* statusFlash::Animation1() const
{
    return m_animation;
}

bool statusFlash::animationPlaying() const
{
    return m_animation->playing();
}

// The FPGA download's end: menus and tick back, the window hidden but loaded.
void statusFlash::closingSteps()
{
    if (frmMain* main = frmMain::instance())
        main->EnableMenu();
    m_finalFirmware = m_finalFpga = true;
    Hide();
    mobjX.setTimerEnabled(true);
}
