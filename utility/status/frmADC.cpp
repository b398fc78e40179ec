#include "utility/status/frmADC.h"

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/link/NumberText.h"
#include "utility/shell/CommLink.h"
#include "utility/shell/LateEvent.h"
#include "utility/shell/frmMain.h"
#include "utility/status/DisplayPause.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

// A reply as a one-line box shows it: blanks trimmed, the line end left off.
QString shownReply(const QString& reply)
{
    QString line = reply;
    const int end = line.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    if (end >= 0)
        line.truncate(end);
    return line.trimmed();
}

} // namespace

frmADC::frmADC()
    : Form(QStringLiteral("frmADC"))
{
    setWindowTitle(QStringLiteral("ADC Readings"));
    setBorderStyle(vbFixedSingle);

    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("frameADC"));
    auto* grid = new QGridLayout(frame);
    auto* channel = new QLabel(QStringLiteral("Channel"), frame);
    channel->setObjectName(QStringLiteral("lblChannel"));
    auto* volts = new QLabel(QStringLiteral("Volts"), frame);
    volts->setObjectName(QStringLiteral("lblVolts"));
    grid->addWidget(channel, 0, 0);
    grid->addWidget(volts, 0, 1);
    for (int i = 0; i < Channels; ++i) {
        auto* number = new QLabel(QString::number(i + 1), frame);
        number->setObjectName(QStringLiteral("lblNum_%1").arg(i));
        number->setAlignment(Qt::AlignCenter);
        auto* box = new QLineEdit(frame);
        box->setObjectName(QStringLiteral("txtVolts_%1").arg(i));
        box->setReadOnly(true);
        grid->addWidget(number, i + 1, 0);
        grid->addWidget(box, i + 1, 1);
        m_volts[size_t(i)] = box;
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
}

void frmADC::Form_Load()
{
    frmMain* main = frmMain::instance();
    if (main) {
        CommLink comm = main->KVLComm1();
        mobjGuiState = comm.GetGuiStateObject();
        mobjX = comm.object();
    }
    if (mobjX)
        LateEvent::connect(mobjX, SIGNAL(Timer()), this, SLOT(mobjX_Timer()));
    m_pause = new DisplayPause(this, [this] { readChannels(); });
    if (!mobjGuiState || mobjGuiState->MaxAnalogChannels() < 1) {
        setEnabled(false);
        m_active = false;
    } else {
        m_active = true;
    }
}

void frmADC::Form_Unload(int& Cancel)
{
    Q_UNUSED(Cancel);
    m_active = false;
}

void frmADC::mobjX_Timer()
{
    readChannels();
}

void frmADC::readChannels()
{
    if (!m_active || !mobjGuiState || mobjGuiState->MaxAnalogChannels() < 1 || !m_pause->showing())
        return;
    CommLink comm(mobjX);
    if (comm.isNull())
        return;
    for (int ch = 0; ch < Channels; ++ch) {
        QString reply(255, QLatin1Char(' '));
        // A channel the link did not ask keeps what it shows, and so do the ones after it.
        const int status = comm.SendReadAscii(NumberText::blankSignedInteger(ch) + QStringLiteral("RA\r"), reply);
        if (status == KVLComm::QueryNotSent)
            return;
        // A reading that did not come keeps what its box shows.
        const QString text = shownReply(reply);
        if (status != 0 || text.isEmpty() || text.contains(QLatin1String("No data"))
            || text.contains(QLatin1String("No Message")))
            continue;
        m_volts[size_t(ch)]->setText(text);
    }
}
