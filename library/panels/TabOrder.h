#pragma once

#include <QList>

class QWidget;

// Tab order set by the eye where the order the controls were made in (or moved between frames)
// differs from where they stand.
namespace TabOrder {

// The controls inside part that Tab reaches (shown or not), in the order it reaches them. A
// control that hands its focus on (to a box inside it) is counted as the control it hands it to.
QList<QWidget*> controlsInside(QWidget* part);

// Tab goes through the parts in the order given: a part that takes the focus itself, else the
// controls inside it that do, in the order Tab reached them before. Controls not named keep their
// places after the first part.
void chain(const QList<QWidget*>& parts);

} // namespace TabOrder
