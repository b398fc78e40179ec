#include "utility/shell/frmSplash.h"

#include "library/link/BusType.h"
#include "utility/shell/ControllerInit.h"
#include "utility/shell/WaitAnimation.h"
#include "utility/shell/frmMain.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmSplash::frmSplash()
    : Form(QStringLiteral("frmSplash"))
{
    setWindowTitle(QStringLiteral("KVL Initialization"));
    setBorderStyle(vbFixedDialog);
    // A window of its own over the main window, not one of its documents.
    setMDIChild(false);

    m_label1 = new QLabel(QStringLiteral("Please Wait For Initialization"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = m_label1->font();
    bold.setBold(true);
    m_label1->setFont(bold);

    m_animation = new WaitAnimation(this);
    m_animation->setObjectName(QStringLiteral("Animation1"));

    m_infoBox = new QPlainTextEdit(this);
    m_infoBox->setObjectName(QStringLiteral("lblInfo"));
    m_infoBox->setReadOnly(true);
    m_infoBox->setLineWrapMode(QPlainTextEdit::NoWrap);

    m_btnOK = new QPushButton(QStringLiteral("&OK"), this);
    m_btnOK->setObjectName(QStringLiteral("btnOK"));
    m_btnOK->setEnabled(false);
    m_btnOK->setDefault(true);
    connect(m_btnOK, &QPushButton::clicked, this, &frmSplash::btnOK_Click);

    auto* top = new QHBoxLayout;
    top->addWidget(m_animation);
    top->addWidget(m_label1, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(m_btnOK);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_infoBox, 1);
    layout->addLayout(bottom);
}

void frmSplash::Form_Load()
{
    frmMain* main = frmMain::instance();
    if (main) {
        setParent(main, Qt::Dialog);
        m_comm = main->KVLComm1().object();
    }
    setWidth(DesignWidth);
    setHeight(DesignHeight);
    if (main) {
        const QRect place = main->frameGeometry();
        const int mainLeft = place.x() * TwipsPerPixel;
        const int mainTop = place.y() * TwipsPerPixel;
        const int mainWidth = place.width() * TwipsPerPixel;
        const int mainHeight = place.height() * TwipsPerPixel;
        setTop(mainTop + (mainHeight - Height()) / 4);
        setLeft(mainLeft + (mainWidth - Width()) / 2);
    }
    Show();
    if (m_comm && CommLink(m_comm).BusType() == BUS_TYPE_NONE) {
        m_label1->setText(QStringLiteral("No Bus Type Defined"));
        setLblInfo(QStringLiteral("RUNNING IN DEMO MODE"));
        m_btnOK->setEnabled(true);
    }
}

// The close box does not end a running initialisation's window under it.
void frmSplash::Form_QueryUnload(int& Cancel, int UnloadMode)
{
    if (UnloadMode == vbFormControlMenu && KvlXGlobal::InitializeControllerBusy())
        Cancel = 1;
}

void frmSplash::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        Form::keyPressEvent(event);
        return;
    }
    event->accept();
    // A disabled OK (the initialisation still runs) takes no click.
    m_btnOK->click();
}

void frmSplash::setLblInfo(const QString& text)
{
    m_info = text;
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_infoBox->setPlainText(shown);
}

void frmSplash::appendLblInfo(const QString& text)
{
    setLblInfo(m_info + text);
}

QLabel* frmSplash::Animation1() const
{
    return m_animation;
}

void frmSplash::playAnimation(const QString& path)
{
    m_animation->play(path);
}

void frmSplash::stopAnimation()
{
    m_animation->stop();
}

bool frmSplash::animationPlaying() const
{
    return m_animation->playing();
}

void frmSplash::btnOK_Click()
{
    if (frmMain* main = frmMain::instance())
        main->EnableMenu();
    Form::Unload(this);
}
