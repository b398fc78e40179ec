#include "utility/status/frmAbout.h"

#include "library/link/BusType.h"
#include "platform/drivers/PciDriver.h"
#include "utility/shell/CommLink.h"
#include "utility/shell/ProgramState.h"
#include "utility/shell/frmMain.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

constexpr int kVersionBuffer = 255;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text = QString())
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

// A label shows one line: the reply's line end is left off.
QString firstLine(const QString& text)
{
    const int end = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    return end < 0 ? text : text.left(end);
}

} // namespace

frmAbout::frmAbout()
    : Form(QStringLiteral("frmAbout"))
{
    setWindowTitle(QStringLiteral("About Moxtrel"));
    setBorderStyle(vbFixedDialog);

    m_kvlVersion = makeLabel(this, "lblKvlVersion");
    m_title = makeLabel(this, "lblTitle", QStringLiteral("Tarvelle"));
    m_dllTitle = makeLabel(this, "lblDllTitle", QStringLiteral("DLL Version"));
    m_dllVersion = makeLabel(this, "lblDllVersion");
    m_firmTitle = makeLabel(this, "lblFirmTitle", QStringLiteral("Firmware Version"));
    m_firmVersion = makeLabel(this, "lblFirmVersion");
    m_btnOK = new QPushButton(QStringLiteral("&OK"), this);
    m_btnOK->setObjectName(QStringLiteral("btnOK"));
    connect(m_btnOK, &QPushButton::clicked, this, &frmAbout::btnOK_Click);

    QFont bold = m_kvlVersion->font();
    bold.setBold(true);
    m_kvlVersion->setFont(bold);

    auto* versions = new QGridLayout;
    versions->addWidget(m_dllTitle, 0, 0);
    versions->addWidget(m_dllVersion, 0, 1);
    versions->addWidget(m_firmTitle, 1, 0);
    versions->addWidget(m_firmVersion, 1, 1);
    versions->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_kvlVersion);
    layout->addWidget(m_title);
    layout->addSpacing(8);
    layout->addLayout(versions);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

void frmAbout::Form_Load()
{
    showVersions();
    // Every text whole, whatever the versions say.
    setMinimumSize(layout()->sizeHint());
    frame()->adjustSize();
}

void frmAbout::showVersions()
{
    m_kvlVersion->setText(QStringLiteral("Moxtrel Version           ") + QStringLiteral("Version 5.1")
                          + QStringLiteral("  ") + QStringLiteral("10/09/08"));
    if (KvlXGlobal::gDemoMode) {
        m_firmVersion->setText(QStringLiteral("N/A"));
        m_dllVersion->setText(QStringLiteral("N/A"));
        return;
    }
    frmMain* main = frmMain::instance();
    if (!main)
        return;
    CommLink comm = main->KVLComm1();

    const bool pci = comm.BusType() == BUS_TYPE_PCI;
    if (pci) {
        char first[kVersionBuffer + 1] = {};
        char second[kVersionBuffer + 1] = {};
        platform::kvl_get_version(first, second, int(sizeof second));
        m_dllVersion->setText(QString::fromLatin1(second).trimmed());
    }
    m_dllTitle->setVisible(pci);
    m_dllVersion->setVisible(pci);

    QString reply(kVersionBuffer, QLatin1Char(' '));
    const int status = comm.SendReadAscii(QStringLiteral("VE?\r"), reply);
    QString firmware = firstLine(reply.trimmed()).trimmed();
    // A version that did not come is not shown as one.
    if (status != 0 || firmware.isEmpty() || firmware.contains(QLatin1String("No data"))
        || firmware.contains(QLatin1String("No Message")))
        return;
    const int version = firmware.indexOf(QLatin1String("Version"));
    if (version >= 0)
        firmware = firmware.mid(version + 8);
    m_firmVersion->setText(firmware);
}

void frmAbout::btnOK_Click()
{
    Form::Unload(this);
}
