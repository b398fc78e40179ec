#include "utility/files/frmProgress.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

frmProgress::frmProgress()
    : Form(QStringLiteral("frmProgress"))
{
    setWindowTitle(QStringLiteral("Transmitting Text File"));
    setBorderStyle(vbFixedSingle);

    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("Label1"));
    // A long path breaks rather than widening the window past the screen.
    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::PlainText);

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_progressBar);
    layout->addStretch(1);
}

void frmProgress::Form_Load()
{
    setWidth(DesignWidth);
    setHeight(DesignHeight);
}

void frmProgress::Form_QueryUnload(int& Cancel, int UnloadMode)
{
    if (m_running && UnloadMode == vbFormControlMenu)
        Cancel = 1;
}
