#include "utility/shell/PanelHost.h"

#include "platform/com/ClassRegistry.h"
#include "platform/com/DispatchTable.h"
#include "utility/shell/FormPlaces.h"
#include "utility/shell/frmMain.h"

#include <QResizeEvent>
#include <QWidget>

PanelHost::PanelHost(const QString& name, const QString& caption, const QString& progId,
                     const QString& panelName, Fit fit)
    : Form(name)
    , m_fit(fit)
{
    setWindowTitle(caption);
    setBorderStyle(vbFixedDialog);
    m_panel = platform::createObject(progId, this);
    if (m_panel)
        m_panel->setObjectName(panelName);
    if (QWidget* widget = panelWidget()) {
        widget->move(0, 0);
        widget->installEventFilter(this);
    }
}

QWidget* PanelHost::panelWidget() const
{
    return qobject_cast<QWidget*>(m_panel.data());
}

void PanelHost::Form_Load()
{
    // Binding runs the panel's set-up, which sizes it to its captions: the window follows.
    bindPanel();
    fitClientToPanel();
    KvlXGlobal::RestoreFormPosition(this);
}

void PanelHost::Form_Unload(int& Cancel)
{
    Q_UNUSED(Cancel);
    KvlXGlobal::SaveFormPosition(this);
}

void PanelHost::resizeEvent(QResizeEvent* event)
{
    Form::resizeEvent(event);
    if (m_fit != Fit::FillClient)
        return;
    if (QWidget* widget = panelWidget())
        widget->setGeometry(rect());
}

bool PanelHost::eventFilter(QObject* watched, QEvent* event)
{
    // A panel fitted again (the font changed) that outgrew the client area takes the window with it.
    QWidget* widget = panelWidget();
    if (watched == widget && event->type() == QEvent::Resize
        && (widget->width() > width() || widget->height() > height()))
        fitClientToPanel();
    return Form::eventFilter(watched, event);
}

void PanelHost::putPanelProperty(const QString& name, QObject* value)
{
    if (!m_panel)
        return;
    QVariantList args{QVariant::fromValue<QObject*>(value)};
    platform::invokeByName(m_panel, name, platform::MemberKind::PropertyPut, args);
}

void PanelHost::bindPanel()
{
    if (frmMain* main = frmMain::instance())
        putPanelProperty(QStringLiteral("CommControl"), main->KVLComm1().object());
}

QSize PanelHost::frameExtra() const
{
    QWidget* f = frame();
    if (f != this) {
        const QMargins m = f->contentsMargins();
        return QSize(m.left() + m.right(), m.top() + m.bottom());
    }
    return frameGeometry().size() - size();
}

void PanelHost::fitClientToPanel()
{
    const QWidget* widget = panelWidget();
    if (!widget)
        return;
    const QSize client = widget->size();
    const QSize whole = client + frameExtra();
    resize(client);
    setWidth(whole.width() * TwipsPerPixel);
    setHeight(whole.height() * TwipsPerPixel);
}

void PanelHost::setClientHeight(int twips)
{
    const int pixels = twips / TwipsPerPixel;
    resize(width(), pixels);
    setHeight((pixels + frameExtra().height()) * TwipsPerPixel);
}
