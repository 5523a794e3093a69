// The main window's dialog procedure and what it shares with the window's owner.
#pragma once

#include <windows.h>

namespace ombrel {

INT_PTR CALLBACK MainWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Destruction of dialog, however it came about: forgets the handle other threads read.
void ForgetMainWindow(HWND dialog);

}  // namespace ombrel
