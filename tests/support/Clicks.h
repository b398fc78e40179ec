#pragma once

#include <QPoint>

class QWidget;

// Clicks where a user would click, found through the style's own geometry rather than a point
// that holds for one font or one style.
namespace Clicks {

// The middle of a check or option box's indicator; the middle of any other control.
QPoint target(const QWidget* control);

// A left click at target(control).
void click(QWidget* control);

} // namespace Clicks
