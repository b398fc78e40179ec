#pragma once

#include <QSize>

class QWidget;

namespace platform {

// Twips layouts were drawn for a narrower dialog font than the desktop has. TextFit makes the
// texts of a hand-placed layout fit at the font in use while keeping its order and grouping.
//
// A label, button, check box, option, frame title or list that is too narrow for its text first
// grows to the right into free room: room its frame has, else room gained by widening the frame
// too, as far as nothing else is in the way. Whatever still does not fit widens the whole layout
// evenly (each left edge and width scaled alike), so neighbours keep their order and nothing comes
// to overlap; the root grows with it, rounded as its children are, so a frame that filled the root
// still fills it exactly. A control that needs more height takes free room below it in the same
// way, growing the frames that hold it and the root.
//
// Controls that a Qt layout places are left to the layout.
class TextFit {
public:
    // The width (and height) the control needs for its text beyond what it has; zero when it fits
    // or has no text.
    static QSize shortfall(const QWidget* control);
    // Fits every hand-placed control under root. The root grows with its content unless
    // rootMayGrow is false (a page whose size its container decides). Returns true when anything
    // moved or grew.
    static bool fit(QWidget* root, bool rootMayGrow = true);
};

} // namespace platform
