#pragma once

#include <QString>

class Form;

namespace KvlXGlobal {

// Window places are kept in twips in the section named after the window: "Left", "Top" and, for a
// sizable window, "Width" and "Height". Saved from the window's normal place, so a window closed
// while minimised or maximised opens normally next time.
void SaveFormPosition(Form* frm);
// Applies the stored values that are whole numbers; a missing or unreadable one keeps the
// window's own.
void RestoreFormPosition(Form* frm);
void SaveFormLeftTop(const QString& formName, int top, int left);
// Stores a cascade of places for every child window and moves the open ones into it.
void ResetDesktopLayout();
// Unloads every visible child window; hidden ones stay loaded.
void CloseChildForms();

} // namespace KvlXGlobal
