#pragma once

#include <QList>
#include <QPointer>

class Form;
class QWidget;

// While a restore, a save, the terminal or a firmware download owns the link, the windows that
// could start motion or write to the controller take no input: every loaded child window is
// disabled for the guard's lifetime, except the stop window, which always stays usable, and the
// window that owns the link. When the guard ends, each window it disabled and that is still loaded
// is enabled again; windows it found disabled (a cycle's lock-out) it leaves as they were.
class LinkOwnerLockOut {
public:
    explicit LinkOwnerLockOut(const QWidget* owner = nullptr);
    ~LinkOwnerLockOut();
    LinkOwnerLockOut(const LinkOwnerLockOut&) = delete;
    LinkOwnerLockOut& operator=(const LinkOwnerLockOut&) = delete;

private:
    QList<QPointer<Form>> m_disabled;
};
