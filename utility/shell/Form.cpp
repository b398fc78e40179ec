#include "utility/shell/Form.h"

#include "utility/shell/EventWait.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <cmath>

namespace {

QList<QPointer<Form>> g_forms;
QPointer<QMdiArea> g_mdiArea;

constexpr Qt::WindowStates notNormal = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;

int toTwips(int pixels)
{
    return pixels * Form::TwipsPerPixel;
}

int toPixels(int twips)
{
    return static_cast<int>(std::lround(double(twips) / Form::TwipsPerPixel));
}

} // namespace

Form::Form(const QString& name, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(name);
}

Form::~Form()
{
    g_forms.removeAll(QPointer<Form>(this));
}

void Form::setMdiArea(QMdiArea* area)
{
    g_mdiArea = area;
}

QMdiArea* Form::mdiArea()
{
    return g_mdiArea;
}

void Form::setBorderStyle(int style)
{
    m_borderStyle = style;
}

QWidget* Form::frame() const
{
    if (m_subWindow)
        return m_subWindow;
    return const_cast<Form*>(this);
}

void Form::embed()
{
    if (m_subWindow)
        return;
    if (m_mdiChild && g_mdiArea) {
        Qt::WindowFlags flags = Qt::SubWindow;
        if (m_borderStyle != vbSizable && m_borderStyle != vbSizableToolWindow)
            flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        m_subWindow = g_mdiArea->addSubWindow(this, flags);
        m_subWindow->setObjectName(objectName() + QStringLiteral("Frame"));
        m_subWindow->setAttribute(Qt::WA_DeleteOnClose, false);
        m_subWindow->hide();
    }
    frame()->installEventFilter(this);
}

void Form::Load()
{
    if (m_loaded)
        return;
    embed();
    m_loaded = true;
    g_forms.append(QPointer<Form>(this));
    Form_Load();
}

void Form::Show()
{
    Load();
    if (!m_loaded)
        return; // unloaded again by its own load
    QWidget* f = frame();
    f->show();
    f->raise();
    if (m_subWindow && g_mdiArea)
        g_mdiArea->setActiveSubWindow(m_subWindow);
    else
        f->activateWindow();
}

void Form::Hide()
{
    frame()->hide();
}

bool Form::Visible() const
{
    return !frame()->isHidden();
}

bool Form::Unload(Form* form, int unloadMode)
{
    if (!form || !form->m_loaded || form->m_unloading)
        return true;
    form->m_unloading = true;
    int cancel = 0;
    form->Form_QueryUnload(cancel, unloadMode);
    if (cancel == 0)
        form->Form_Unload(cancel);
    if (cancel != 0) {
        form->m_unloading = false;
        return false;
    }
    form->m_loaded = false;
    g_forms.removeAll(QPointer<Form>(form));
    QWidget* f = form->frame();
    f->hide();
    // The window's own code may be what unloads it, or may be waiting further down the stack.
    QPointer<QWidget> doomed(f);
    EventWait::runWhenIdle(f, [doomed] {
        if (doomed)
            doomed->deleteLater();
    });
    return true;
}

QList<Form*> Form::Forms()
{
    QList<Form*> loaded;
    for (const QPointer<Form>& f : g_forms) {
        if (f)
            loaded.append(f.data());
    }
    return loaded;
}

Form* Form::loadedForm(const QString& name)
{
    for (Form* f : Forms()) {
        if (f->Name() == name)
            return f;
    }
    return nullptr;
}

void Form::closeEvent(QCloseEvent* event)
{
    if (m_unloading || !m_loaded) {
        event->accept();
        return;
    }
    if (Unload(this, vbFormControlMenu))
        event->accept();
    else
        event->ignore();
}

bool Form::eventFilter(QObject* watched, QEvent* event)
{
    // The normal place is taken as the window leaves its normal state, before it changes size.
    // Later notices while it stays minimised or maximised (the area sends some) are passed over.
    // The type is tested first: a frame being destroyed still sends notices (its children
    // leaving), and it may no longer be read as a sub-window then.
    if (event->type() == QEvent::WindowStateChange && watched == frame()) {
        if (frameIsNormal()) {
            m_leftNormal = false;
        } else if (!m_leftNormal) {
            m_leftNormal = true;
            m_lastNormal = framePlacePixels();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool Form::frameIsNormal() const
{
    return !(frame()->windowState() & notNormal);
}

void Form::makeNormal()
{
    QWidget* f = frame();
    if (frameIsNormal() || f->isHidden())
        return;
    f->setWindowState(f->windowState() & ~notNormal);
}

QRect Form::framePlacePixels() const
{
    if (m_subWindow)
        return m_subWindow->geometry();
    return frameGeometry();
}

void Form::setFramePlacePixels(const QRect& place)
{
    if (m_subWindow) {
        m_subWindow->setGeometry(place);
        return;
    }
    const QSize border = frameGeometry().size() - size();
    move(place.topLeft());
    resize(place.size() - border);
}

QRect Form::normalPlace() const
{
    QRect pixels = framePlacePixels();
    if (!frameIsNormal() && m_lastNormal.isValid())
        pixels = m_lastNormal;
    return QRect(toTwips(pixels.x()), toTwips(pixels.y()), toTwips(pixels.width()), toTwips(pixels.height()));
}

int Form::Left() const
{
    return toTwips(framePlacePixels().x());
}

void Form::setLeft(int twips)
{
    makeNormal();
    QRect r = framePlacePixels();
    r.moveLeft(toPixels(twips));
    setFramePlacePixels(r);
}

int Form::Top() const
{
    return toTwips(framePlacePixels().y());
}

void Form::setTop(int twips)
{
    makeNormal();
    QRect r = framePlacePixels();
    r.moveTop(toPixels(twips));
    setFramePlacePixels(r);
}

int Form::Width() const
{
    return toTwips(framePlacePixels().width());
}

void Form::setWidth(int twips)
{
    makeNormal();
    QRect r = framePlacePixels();
    r.setWidth(toPixels(twips));
    setFramePlacePixels(r);
}

int Form::Height() const
{
    return toTwips(framePlacePixels().height());
}

void Form::setHeight(int twips)
{
    makeNormal();
    QRect r = framePlacePixels();
    r.setHeight(toPixels(twips));
    setFramePlacePixels(r);
}

int Form::ScaleWidth() const
{
    return toTwips(width());
}

int Form::ScaleHeight() const
{
    return toTwips(height());
}
