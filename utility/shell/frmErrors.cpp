#include "utility/shell/frmErrors.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/LateEvent.h"
#include "utility/shell/frmMain.h"

#include <QVBoxLayout>
#include <QWidget>

frmErrors::frmErrors()
    : Form(QStringLiteral("frmErrors"))
{
    setWindowTitle(QStringLiteral("Errors"));
    setBorderStyle(vbSizable);

    // The panel always fills the client area.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    QObject* panel = platform::createObject(QStringLiteral("KVL410ActiveX.KVLError"), this);
    if (auto* widget = qobject_cast<QWidget*>(panel)) {
        widget->setObjectName(QStringLiteral("KVLError1"));
        layout->addWidget(widget);
    }
    m_panel = panel;
    if (panel) {
        LateEvent::connect(panel, SIGNAL(Dismiss()), this, SLOT(KVLError1_Dismiss()));
        LateEvent::connect(panel, SIGNAL(ErrorsDetected()), this, SLOT(KVLError1_ErrorsDetected()));
    }
}

void frmErrors::Form_Load()
{
    setWidth(DefaultWidth);
    setHeight(DefaultHeight);
    frmMain* main = frmMain::instance();
    if (m_panel && main) {
        QVariantList args{QVariant::fromValue<QObject*>(main->KVLComm1().object())};
        platform::invokeByName(m_panel, QStringLiteral("CommControl"), platform::MemberKind::PropertyPut, args);
    }
    KvlXGlobal::RestoreFormPosition(this);
}

void frmErrors::Form_Unload(int& Cancel)
{
    Q_UNUSED(Cancel);
    KvlXGlobal::SaveFormPosition(this);
}

void frmErrors::KVLError1_Dismiss()
{
    Hide();
}

void frmErrors::KVLError1_ErrorsDetected()
{
    Show();
}
