#pragma once

#include <QString>
#include <functional>

namespace platform {

// Message boxes by the original platform's style numbers, added together:
//   buttons  0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore, 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel;
//   icon     16 critical, 32 question, 48 exclamation, 64 information;
//   default  0 first, 256 second, 512 third, 768 fourth button;
//   65536 brings the box to the foreground, 262144 keeps it on top.
// The answer uses the platform's codes.
enum MsgBoxAnswer : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7 };

// Shows the box (modal) and returns the button pressed. An empty title shows the application's
// name. CR LF in the prompt breaks the line; the prompt is plain text. Without a QApplication the
// box cannot be shown: the prompt is written to the error output and the default button answers.
// A box closed without a button (Escape, the window's close button) answers Cancel when it has a
// Cancel button, OK for an OK-only box, No for Yes/No and Abort for Abort/Retry/Ignore.
int MsgBox(const QString& prompt, int style = 0, const QString& title = QString());

// The answer of a box that nobody is there to answer (an unattended run): its default button; when
// declining, No wherever the box offers No and else Cancel wherever it offers Cancel, so nothing
// is agreed to unasked.
int unattendedAnswer(int style, bool decline);

// Test seam: a handler that answers instead of showing a box. It receives the prompt, style and
// title exactly as the caller passed them (an empty title stays empty). Pass an empty function to
// show real boxes again.
using MsgBoxHandler = std::function<int(const QString& prompt, int style, const QString& title)>;
void setMsgBoxHandler(MsgBoxHandler handler);

// The program is being told to end: every box that waits closes at once, and every later box
// answers at once without showing, both with the answer of a box closed without a button. No
// box then holds up the end. false shows boxes again.
void setMsgBoxesDismissed(bool dismissed);
bool msgBoxesDismissed();

// Style numbers by name (vbOKOnly ... vbSystemModal of the original).
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64,
    vbDefaultButton1 = 0,
    vbDefaultButton2 = 256,
    vbDefaultButton3 = 512,
    vbDefaultButton4 = 768,
    vbApplicationModal = 0,
    vbSystemModal = 4096,
    vbMsgBoxSetForeground = 65536,
    vbMsgBoxRight = 524288,
    vbMsgBoxRtlReading = 1048576,
};

} // namespace platform
