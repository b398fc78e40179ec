#include "library/panels/TabOrder.h"

#include <QWidget>

namespace TabOrder {

QList<QWidget*> controlsInside(QWidget* part)
{
    QList<QWidget*> inside;
    for (QWidget* w = part->nextInFocusChain(); w && w != part; w = w->nextInFocusChain()) {
        if (inside.contains(w))
            break;
        if (part->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
            inside << w;
    }
    return inside;
}

void chain(const QList<QWidget*>& parts)
{
    QList<QWidget*> controls;
    for (QWidget* part : parts) {
        const QList<QWidget*> inside = controlsInside(part);
        controls += inside.isEmpty() ? QList<QWidget*>{part} : inside;
    }
    for (int i = 1; i < controls.size(); ++i)
        QWidget::setTabOrder(controls.at(i - 1), controls.at(i));
}

} // namespace TabOrder
