#include "utility/status/DisplayPause.h"

#include "utility/shell/Form.h"

#include <QEvent>

DisplayPause::DisplayPause(Form* form, std::function<void()> resume)
    : QObject(form)
    , m_form(form)
    , m_resume(std::move(resume))
{
    form->frame()->installEventFilter(this);
    if (QWidget* top = form->frame()->window(); top != form->frame())
        top->installEventFilter(this);
}

bool DisplayPause::showing() const
{
    if (!m_form || !m_form->isLoaded())
        return false;
    const QWidget* frame = m_form->frame();
    if (frame->isHidden() || (frame->windowState() & Qt::WindowMinimized))
        return false;
    const QWidget* top = frame->window();
    return !top->isHidden() && !(top->windowState() & Qt::WindowMinimized);
}

bool DisplayPause::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        check();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void DisplayPause::check()
{
    if (!showing()) {
        m_paused = m_form && m_form->isLoaded();
        return;
    }
    if (!m_paused || m_resumePosted)
        return;
    m_paused = false;
    // Not from inside the show or state change itself: the read runs as a handler of its own.
    m_resumePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_resumePosted = false;
            if (showing() && m_resume)
                m_resume();
        },
        Qt::QueuedConnection);
}
