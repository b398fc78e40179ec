#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class Form;
class QMdiArea;
class QWidget;
class frmMain;

// What an operator sees of a window, checked the same way for every window of the program. Each
// check returns one line per fault, naming the window and the control, and nothing when the
// window is sound, so a test can print them all at once:
//
//     EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
namespace WindowChecks {

// The windows the main window's commands can open: every window a menu item or toolbar button
// names, then every other window known to the dispatcher by name, each once. Windows that are not
// plugged in yet are left out.
QStringList openableWindows(frmMain* main);

// Opens a window the way an operator does: through the first menu or toolbar key that names it,
// else (no key, or its command refused) by name. Null when it did not open.
Form* open(frmMain* main, const QString& name);

// Captions, option and check-box texts, button texts, frame titles and list items that are wider
// (or taller) than the room their control gives them at the control's font; lists shorter than
// their items. Only controls the window shows are looked at.
QStringList textsThatDoNotFit(QWidget* window, const QString& windowName);

// Shown controls that overlap a sibling by more than a pixel without one holding the other, or
// that reach outside the control that holds them (and so are cut off).
QStringList overlappingControls(QWidget* window, const QString& windowName);

// The window's frame, when any of it lies outside the visible part of the main window's area.
QStringList outsideArea(Form* form, QMdiArea* area);

// The window's frame, when it is smaller than size (pixels) in either direction.
QStringList smallerThan(Form* form, const QSize& size);

// Pairs of controls that Tab reaches against the eye: of two controls one above the other
// (sharing some width), the upper one first; of two side by side (sharing some height), the left
// one first. Controls in no such relation may come in either order, so a window may tab down
// one column of boxes and then the next. Every page of every tab strip is looked at.
QStringList tabOrderAgainstTheEye(QWidget* window, const QString& windowName);

// Every check that applies to one open window.
QStringList allProblems(Form* form, QMdiArea* area);

} // namespace WindowChecks
