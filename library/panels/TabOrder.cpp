#include "library/panels/TabOrder.h"

#include <QWidget>

namespace TabOrder {

namespace {

// part itself, or the controls inside it that take the focus by Tab, in the window's Tab order.
QList<QWidget*> controlsOf(QWidget* part)
{
    QList<QWidget*> inside;
    for (QWidget* w = part->nextInFocusChain(); w && w != part; w = w->nextInFocusChain()) {
        if (inside.contains(w))
            break;
        if (part->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
            inside << w;
    }
    if (inside.isEmpty())
        inside << part;
    return inside;
}

} // namespace

void chain(const QList<QWidget*>& parts)
{
    QList<QWidget*> controls;
    for (QWidget* part : parts)
        controls += controlsOf(part);
    for (int i = 1; i < controls.size(); ++i)
        QWidget::setTabOrder(controls.at(i - 1), controls.at(i));
}

} // namespace TabOrder
