#pragma once

#include <QPushButton>

// A push button that reports a press and a release of any mouse button, and its click after the
// release that caused it (or from the keyboard), so a handler can tell a hold from a click.
class JogButton : public QPushButton {
    Q_OBJECT
public:
    explicit JogButton(QWidget* parent = nullptr);

signals:
    void MouseDown(Qt::MouseButton button);
    void MouseUp(Qt::MouseButton button);
    // After MouseUp of a primary-button press released over the button, or from the keyboard.
    void Click();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool m_primaryDown = false;
    bool m_inMouseRelease = false;
};
