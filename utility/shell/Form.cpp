#include "utility/shell/Form.h"

#include "utility/shell/EventWait.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

QList<QPointer<Form>> g_forms;
QPointer<QMdiArea> g_mdiArea;

constexpr Qt::WindowStates notNormal = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;

// Twips of a place far outside any screen would not fit 32 bits; they are kept at its ends, so a
// place is never stored overflowed.
int toTwips(int pixels)
{
    const qint64 twips = qint64(pixels) * Form::TwipsPerPixel;
    return int(std::clamp<qint64>(twips, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Each window opened without a place of its own goes one step down and right of the windows
// open before it, as a new document window does, so none opens hidden behind another.
constexpr int kDefaultStep = 500 / Form::TwipsPerPixel;
// How much of a window must lie in view for its title bar to be reached.
constexpr int kTitleRoom = 100;

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
    releaseFrame();
}

// The frame may be on its way out already (a window is destroyed with its frame): it is reached
// only as a QObject, never as the frame it was.
void Form::releaseFrame()
{
    if (m_filteredFrame && m_filteredFrame.data() != this)
        m_filteredFrame->removeEventFilter(this);
    m_filteredFrame = nullptr;
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
    if (m_mdiChild && g_mdiArea && !m_subWindow) {
        Qt::WindowFlags flags = Qt::SubWindow;
        if (m_borderStyle != vbSizable && m_borderStyle != vbSizableToolWindow)
            flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        m_subWindow = g_mdiArea->addSubWindow(this, flags);
        m_subWindow->setObjectName(objectName() + QStringLiteral("Frame"));
        m_subWindow->setAttribute(Qt::WA_DeleteOnClose, false);
        m_subWindow->hide();
    }
    if (!m_filteredFrame) {
        m_filteredFrame = frame();
        m_filteredFrame->installEventFilter(this);
    }
}

void Form::Load()
{
    if (m_loaded)
        return;
    embed();
    m_loaded = true;
    g_forms.append(QPointer<Form>(this));
    try {
        Form_Load();
    } catch (...) {
        // A window whose opening failed is unloaded, so the next opening starts afresh instead of
        // showing what it never finished reading; the failure still goes on to be reported.
        unloadAfterFailedLoad();
        throw;
    }
}

void Form::unloadAfterFailedLoad()
{
    if (!m_loaded || m_unloading)
        return;
    // No question is asked of a window that never opened; its clean-up runs, and it goes even
    // when the clean-up would keep it or fails as well.
    m_unloading = true;
    try {
        int cancel = 0;
        Form_Unload(cancel);
    } catch (...) {
    }
    finishUnload();
}

void Form::Show()
{
    Load();
    if (!m_loaded)
        return; // unloaded again by its own load
    QWidget* f = frame();
    // Opening a window again brings it back as it was, not as a bare title bar.
    if (f->windowState() & Qt::WindowMinimized)
        f->setWindowState(f->windowState() & ~Qt::WindowMinimized);
    if (layout())
        growClientTo(sizeHint());
    bool placedByDefault = false;
    if (!m_shownOnce) {
        m_shownOnce = true;
        if (!m_placed) {
            placeByDefault();
            placedByDefault = true;
        }
    }
    // A window that sized its client area itself has its frame follow.
    if (m_subWindow && size() != clientSize()) {
        QRect r = framePlacePixels();
        r.setSize(size().grownBy(m_subWindow->contentsMargins()));
        setFramePlacePixels(r);
    }
    applySizeRule();
    f->show();
    // A first place of the window's own may reach past the visible part (the area scrolls); a
    // stored or given place is brought back into view.
    if (!placedByDefault)
        pullIntoView();
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
    form->finishUnload();
    return true;
}

void Form::finishUnload()
{
    m_unloading = true;
    m_loaded = false;
    g_forms.removeAll(QPointer<Form>(this));
    QWidget* f = frame();
    f->hide();
    // The frame is destroyed later: its events no longer reach this window's filter.
    releaseFrame();
    // The window's own code may be what unloads it, or may be waiting further down the stack.
    QPointer<QWidget> doomed(f);
    EventWait::runWhenIdle(f, [doomed] {
        if (doomed)
            doomed->deleteLater();
    });
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
    // The type is tested first, and the frame compared only as an object: a frame being
    // destroyed may still send notices (its children leaving) and is no sub-window by then.
    if (event->type() == QEvent::WindowStateChange && watched == m_filteredFrame.data()) {
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
    // Code sizes the window freely; the size it leaves is kept.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (m_subWindow) {
        m_subWindow->setMinimumSize(0, 0);
        m_subWindow->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        m_subWindow->setGeometry(place);
        // The client follows at once, not only when the frame next lays it out.
        resize(clientSize());
    } else {
        const QSize border = frameGeometry().size() - size();
        move(place.topLeft());
        resize(place.size() - border);
    }
    applySizeRule();
}

bool Form::hasFixedSize() const
{
    return m_borderStyle != vbSizable && m_borderStyle != vbSizableToolWindow;
}

QSize Form::clientSize() const
{
    // The frame's size is the one set last; the client follows it only once the frame lays it out.
    if (m_subWindow)
        return m_subWindow->size().shrunkBy(m_subWindow->contentsMargins());
    return size();
}

void Form::applySizeRule()
{
    if (!hasFixedSize())
        return;
    setFixedSize(size());
    if (m_subWindow)
        m_subWindow->setFixedSize(m_subWindow->size());
}

void Form::growClientTo(const QSize& client)
{
    const QSize now = clientSize();
    if (now.width() >= client.width() && now.height() >= client.height())
        return;
    QRect place = framePlacePixels();
    place.setSize(place.size() + (now.expandedTo(client) - now));
    setFramePlacePixels(place);
}

void Form::placeByDefault()
{
    const QMdiArea* area = m_mdiChild ? g_mdiArea.data() : nullptr;
    if (!area)
        return;
    // The first step of the cascade that no open window holds and where the window fits; the
    // start of the area when there is none.
    const QSize view = area->viewport()->size();
    const QSize whole = framePlacePixels().size();
    // A window larger than the room left takes the first free step whose title bar is in view.
    QPoint place(0, 0);
    std::optional<QPoint> titleInView;
    for (int k = 0;; ++k) {
        const QPoint step(k * kDefaultStep, k * kDefaultStep);
        if (k > 0 && (step.x() + kTitleRoom > view.width() || step.y() + kTitleRoom > view.height()))
            break;
        bool taken = false;
        for (const QMdiSubWindow* sub : area->subWindowList()) {
            if (sub != m_subWindow && sub->isVisible() && sub->pos() == step)
                taken = true;
        }
        if (taken)
            continue;
        if (k == 0 || (step.x() + whole.width() <= view.width() && step.y() + whole.height() <= view.height())) {
            place = step;
            titleInView.reset();
            break;
        }
        if (!titleInView)
            titleInView = step;
    }
    if (titleInView)
        place = *titleInView;
    QRect r = framePlacePixels();
    r.moveTopLeft(place);
    setFramePlacePixels(r);
}

QRect Form::viewPixels() const
{
    if (m_subWindow && g_mdiArea)
        return g_mdiArea->viewport()->rect();
    if (!m_subWindow && screen())
        return screen()->availableGeometry();
    return QRect();
}

void Form::limitSizeToView()
{
    const QRect view = viewPixels();
    if (!view.isValid())
        return;
    QRect r = framePlacePixels();
    if (r.width() <= view.width() && r.height() <= view.height())
        return;
    makeNormal();
    r.setWidth(std::min(r.width(), view.width()));
    r.setHeight(std::min(r.height(), view.height()));
    setFramePlacePixels(r);
}

void Form::pullIntoView()
{
    const QRect view = viewPixels();
    if (!view.isValid())
        return;
    QRect r = framePlacePixels();
    const QPoint before = r.topLeft();
    if (r.right() > view.right())
        r.moveRight(view.right());
    if (r.bottom() > view.bottom())
        r.moveBottom(view.bottom());
    if (r.left() < view.left())
        r.moveLeft(view.left());
    if (r.top() < view.top())
        r.moveTop(view.top());
    if (r.topLeft() != before) {
        makeNormal();
        setFramePlacePixels(r);
    }
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
    m_placed = true;
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
    m_placed = true;
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
