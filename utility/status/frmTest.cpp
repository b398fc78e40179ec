#include "utility/status/frmTest.h"

#include "utility/shell/ErrorDisplay.h"
#include "utility/shell/FormPlaces.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmTest::frmTest()
    : Form(QStringLiteral("frmTest"))
{
    setWindowTitle(QStringLiteral("Test Form"));
    m_cmdError = new QPushButton(QStringLiteral("Send an error"), this);
    m_cmdError->setObjectName(QStringLiteral("cmdError"));
    m_lblError = new QLabel(this);
    m_lblError->setObjectName(QStringLiteral("lblError"));
    connect(m_cmdError, &QPushButton::clicked, this, &frmTest::cmdError_Click);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_cmdError);
    layout->addWidget(m_lblError);
    layout->addStretch(1);
    // The caption stays whole beside the frame's buttons.
    setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + 120);
}

void frmTest::Form_Load()
{
    KvlXGlobal::RestoreFormPosition(this);
}

void frmTest::Form_Unload(int& Cancel)
{
    Q_UNUSED(Cancel);
    KvlXGlobal::SaveFormPosition(this);
}

void frmTest::cmdError_Click()
{
    m_lblError->setText(QString::number(KvlXGlobal::ShowError(QStringLiteral("This is a test"), 0)));
}
