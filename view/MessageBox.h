#pragma once
// The application's one message box: modal, an OK button, the warning icon
// and the caption "vantaPeak". Every message the user sees goes through it.
//
// User-interface thread only (Qt shows widgets on that thread alone).
#include <functional>

#include <QString>

class QWidget;

// Shows `text` and returns when the user has pressed OK. `parent` centres
// the box over that window; null uses the active window.
void ShowMessageBox(const QString& text, QWidget* parent = nullptr);

// While a hook is set, ShowMessageBox calls it with the text instead of
// showing a box (tests record messages this way). An empty function removes
// the hook.
using MessageBoxHook = std::function<void(const QString& text)>;
void SetMessageBoxHook(MessageBoxHook hook);
