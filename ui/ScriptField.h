// The main window's script field (1044): the title text last sent as a script command.
// Song tracking writes it from its worker thread too; such a write is handed to the window's
// own thread by a posted message, so the worker never waits for a user-interface thread that
// may itself be waiting for the worker (a broadcast stop joins it).
#pragma once

#include <windows.h>

namespace ombrel {

// Posted to the main window when another thread left text for the field.
constexpr UINT kShowPendingScriptText = WM_APP + 1;

// Any thread: sets the field at once on the window's thread, otherwise leaves the text for it.
void SetScriptText(HWND dialog, const char* text);

// The window's thread, on kShowPendingScriptText: shows text left by another thread.
void ShowPendingScriptText(HWND dialog);

// The window's thread: empties the field and drops text not shown yet, which is older.
void ClearScriptText(HWND dialog);

}  // namespace ombrel
