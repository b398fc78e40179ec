#include "utility/shell/frmCommProps.h"

#include "platform/RuntimeError.h"
#include "platform/serial/SerialControl.h"
#include "platform/ui/MsgBox.h"
#include "utility/shell/CommLink.h"
#include "utility/shell/frmBusType.h"
#include "utility/shell/frmMain.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QTabWidget>
#include <QVBoxLayout>

using platform::RuntimeError;
using platform::SerialControl;

namespace {

constexpr int kPorts = 30;
const char* const kSpeeds[] = {"110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",   "14400", "19200",
                               "28800", "38400", "56000", "57600", "115200", "128000", "256000", "921600"};
const char* const kDataBits[] = {"4", "5", "6", "7", "8"};
const char* const kParities[] = {"Even", "Odd", "None", "Mark", "Space"};
const char* const kStopBits[] = {"1", "1.5", "2"};
const char* const kFlows[] = {"None", "Xon/Xoff", "RTS", "Xon/RTS"};

constexpr int kButtonWidth = 80;   // pixels
constexpr int kButtonHeight = 26;
constexpr int kMargin = 8;
constexpr int kTabGapTwips = 100;

QComboBox* makeList(const QString& name, bool editable, QWidget* parent)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setEditable(editable);
    return list;
}

template <size_t N>
void fill(QComboBox* list, const char* const (&items)[N])
{
    list->clear();
    for (const char* item : items)
        list->addItem(QString::fromLatin1(item));
}

// The character at a 1-based position, or none outside the text.
QChar charAt(const QString& text, int position)
{
    return position >= 1 && position <= text.size() ? text.at(position - 1) : QChar();
}

} // namespace

frmCommProps::frmCommProps()
    : Form(QStringLiteral("frmCommProps"))
{
    setWindowTitle(QStringLiteral("CommPort Properties"));
    setBorderStyle(vbFixedDialog);

    m_tabSettings = new QTabWidget(this);
    m_tabSettings->setObjectName(QStringLiteral("tabSettings"));
    m_fraSettings = new QGroupBox(m_tabSettings);
    m_fraSettings->setObjectName(QStringLiteral("fraSettings"));
    m_fraSettings->setFlat(true);
    m_tabSettings->addTab(m_fraSettings, QStringLiteral("Properties"));

    m_cboPort = makeList(QStringLiteral("cboPort"), false, m_fraSettings);
    m_fraSpeed = new QGroupBox(QStringLiteral("Maximum Speed"), m_fraSettings);
    m_cboSpeed = makeList(QStringLiteral("cboSpeed"), true, m_fraSpeed);
    (new QVBoxLayout(m_fraSpeed))->addWidget(m_cboSpeed);

    m_fraConnection = new QGroupBox(QStringLiteral("Connection Preferences"), m_fraSettings);
    m_fraConnection->setObjectName(QStringLiteral("fraConnection"));
    m_cboDataBits = makeList(QStringLiteral("cboDataBits"), true, m_fraConnection);
    m_cboParity = makeList(QStringLiteral("cboParity"), false, m_fraConnection);
    m_cboStopBits = makeList(QStringLiteral("cboStopBits"), true, m_fraConnection);
    auto* framing = new QFormLayout(m_fraConnection);
    framing->addRow(QStringLiteral("Data Bits:"), m_cboDataBits);
    framing->addRow(QStringLiteral("Parity:"), m_cboParity);
    framing->addRow(QStringLiteral("Stop Bits:"), m_cboStopBits);

    m_fraFlow = new QGroupBox(QStringLiteral("&Flow Control"), m_fraSettings);
    m_flowGroup = new QButtonGroup(this);
    auto* flows = new QVBoxLayout(m_fraFlow);
    for (int i = 0; i < int(std::size(kFlows)); ++i) {
        auto* option = new QRadioButton(QString::fromLatin1(kFlows[i]), m_fraFlow);
        option->setObjectName(QStringLiteral("optFlow_%1").arg(i));
        m_flowGroup->addButton(option, i);
        flows->addWidget(option);
        m_optFlow.append(option);
        connect(option, &QRadioButton::clicked, this, [this, i] { optFlow_Click(i); });
    }

    m_labelTest = new QLabel(m_fraSettings);
    m_labelTest->setObjectName(QStringLiteral("LabelTest"));

    auto* port = new QFormLayout;
    port->addRow(QStringLiteral("Port:"), m_cboPort);
    auto* grid = new QGridLayout(m_fraSettings);
    grid->addLayout(port, 0, 0);
    grid->addWidget(m_fraSpeed, 1, 0);
    grid->addWidget(m_fraConnection, 2, 0);
    grid->addWidget(m_fraFlow, 0, 1, 3, 1);
    grid->addWidget(m_labelTest, 3, 0, 1, 2);

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(m_cmdOK, &QPushButton::clicked, this, &frmCommProps::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmCommProps::cmdCancel_Click);
}

void frmCommProps::Form_Load()
{
    if (frmMain* main = frmMain::instance())
        m_comm = main->KVLComm1().object();
    CommLink comm(m_comm);
    if (!comm.isNull())
        m_serial = qobject_cast<SerialControl*>(comm.RS232CommControl());
    setWidth(DesignWidth);
    setHeight(DesignHeight);

    // The serial control follows the link's port; the port it already has is left alone, since
    // setting a port on an open port is refused.
    if (m_serial && m_serial->CommPort() != comm.CommPort()) {
        try {
            m_serial->setCommPort(comm.CommPort());
        } catch (const RuntimeError& error) {
            showError(error.Description);
        }
    }
    if (!comm.isNull())
        m_labelTest->setText(comm.Settings());
    LoadPropertySettings();
    // The designed size was made for a narrower font: the window grows until every list stands
    // at its full height and every caption is whole beside the buttons.
    const QSize page = m_tabSettings->sizeHint();
    growClientTo(QSize(page.width() + kTabGapTwips / TwipsPerPixel + kButtonWidth + kMargin,
                       std::max(page.height(), kMargin * 3 + kButtonHeight * 2)));
    Form_Resize();
}

void frmCommProps::Form_Unload(int& Cancel)
{
    Q_UNUSED(Cancel);
    m_serial = nullptr;
    m_comm = nullptr;
}

void frmCommProps::LoadPropertySettings()
{
    m_cboPort->clear();
    for (int n = 1; n <= kPorts; ++n)
        m_cboPort->addItem(QStringLiteral("Com%1").arg(n));
    fill(m_cboSpeed, kSpeeds);
    fill(m_cboDataBits, kDataBits);
    fill(m_cboParity, kParities);
    fill(m_cboStopBits, kStopBits);
    if (!m_serial)
        return;

    // "speed,p,d,s": single-digit data bits, and "1.5" stop bits add two characters to the tail.
    const QString s = m_serial->Settings();
    const int length = int(s.size());
    const int offset = s.contains(QLatin1Char('.')) ? 2 : 0;
    m_cboSpeed->setCurrentText(s.left(std::max(0, length - 6 - offset)));

    const QChar parity = charAt(s, length - 4 - offset).toLower();
    const int parityIndex = QStringLiteral("eonms").indexOf(parity);
    if (!parity.isNull() && parityIndex >= 0)
        m_cboParity->setCurrentIndex(parityIndex);

    const QChar dataBits = charAt(s, length - 2 - offset);
    m_cboDataBits->setCurrentText(dataBits.isNull() ? QString() : QString(dataBits));
    m_cboStopBits->setCurrentText(s.right(offset + 1));

    const int port = m_serial->CommPort() - 1;
    m_cboPort->setCurrentIndex(port >= 0 && port < m_cboPort->count() ? port : -1);

    const int flow = m_serial->Handshaking();
    if (QRadioButton* option = optFlow(flow)) {
        option->setChecked(true);
        optFlow_Click(flow);
    }
}

void frmCommProps::optFlow_Click(int Index)
{
    m_pendingHandshaking = short(Index);
}

void frmCommProps::showError(const QString& text)
{
    platform::MsgBox(text, platform::vbOKOnly + platform::vbExclamation, QStringLiteral("Moxtrel"));
}

void frmCommProps::cmdOK_Click()
{
    if (!m_serial)
        return;
    const short oldPort = m_serial->CommPort();
    const int entry = m_cboPort->currentIndex();
    const short newPort = short(entry + 1);

    // The bus window follows the chosen port.
    if (auto* busWindow = dynamic_cast<frmBusType*>(Form::loadedForm(QStringLiteral("frmBusType")))) {
        QComboBox* list = busWindow->cboDeviceID();
        list->setCurrentIndex(entry >= 0 && entry < list->count() ? entry : -1);
    }

    if (newPort != oldPort) {
        const bool wasOpen = m_serial->PortOpen();
        try {
            if (wasOpen)
                m_serial->setPortOpen(false);
            m_serial->setCommPort(newPort);
        } catch (const RuntimeError& error) {
            showError(error.Description);
            // The link goes on where it was: the old port, open again if it was open.
            try {
                if (m_serial->CommPort() != oldPort)
                    m_serial->setCommPort(oldPort);
                if (wasOpen && !m_serial->PortOpen())
                    m_serial->setPortOpen(true);
            } catch (const RuntimeError& again) {
                showError(again.Description);
            }
            return;
        }
    }

    const QString parityText = m_cboParity->currentText();
    const QString settings = m_cboSpeed->currentText().trimmed() + QLatin1Char(',')
        + parityText.left(1).toUpper() + QLatin1Char(',') + m_cboDataBits->currentText().trimmed()
        + QLatin1Char(',') + m_cboStopBits->currentText().trimmed();
    try {
        m_serial->setSettings(settings);
    } catch (const RuntimeError& error) {
        showError(error.Description);
        return;
    }

    try {
        m_serial->setHandshaking(m_pendingHandshaking);
    } catch (const RuntimeError& error) {
        showError(error.Description);
        return;
    }

    Form::Unload(this);
}

void frmCommProps::cmdCancel_Click()
{
    Form::Unload(this);
}

void frmCommProps::resizeEvent(QResizeEvent* event)
{
    Form::resizeEvent(event);
    Form_Resize();
}

// The tab strip fills the form left of the buttons; the settings frame is its one page.
void frmCommProps::Form_Resize()
{
    const int right = width() - kMargin;
    m_cmdOK->setGeometry(right - kButtonWidth, kMargin, kButtonWidth, kButtonHeight);
    m_cmdCancel->setGeometry(right - kButtonWidth, kMargin * 2 + kButtonHeight, kButtonWidth, kButtonHeight);
    const int tabWidth = m_cmdOK->x() - kTabGapTwips / TwipsPerPixel;
    m_tabSettings->setGeometry(0, 0, std::max(0, tabWidth), height());
    m_fraSettings->raise();
}
