#include "library/panels/JogButton.h"

#include <QMouseEvent>
#include <QPointer>

JogButton::JogButton(QWidget* parent)
    : QPushButton(parent)
{
    // Keyboard clicks; mouse clicks are raised by the release itself.
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (!m_inMouseRelease)
            emit Click();
    });
}

void JogButton::mousePressEvent(QMouseEvent* e)
{
    m_primaryDown = e->button() == Qt::LeftButton;
    QPointer<JogButton> self(this);
    QPushButton::mousePressEvent(e);
    if (!self)
        return;
    // Any button counts as a press here, not only the one the push button itself takes.
    e->accept();
    emit MouseDown(e->button());
}

void JogButton::mouseReleaseEvent(QMouseEvent* e)
{
    // The click is decided by the press and the place of release, not by the push button's own
    // state, which a disable during the release handling would clear.
    const bool click = e->button() == Qt::LeftButton && m_primaryDown && rect().contains(e->position().toPoint());
    if (e->button() == Qt::LeftButton)
        m_primaryDown = false;
    QPointer<JogButton> self(this);
    e->accept();
    emit MouseUp(e->button());
    if (!self)
        return;
    m_inMouseRelease = true;
    QPushButton::mouseReleaseEvent(e);
    if (!self)
        return;
    m_inMouseRelease = false;
    if (click && isEnabled())
        emit Click();
}
