// What a user does with the plug-in's windows in another process: commands from the main
// window, pages of the settings sheet, buttons of a dialog, and pictures of what is on screen.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

// The plug-in's main window ("Ombrel DSP plugin"), waiting up to timeoutMs for it.
HWND WaitForPluginWindow(DWORD timeoutMs);

// The modal window the main window is showing (settings sheet, About box), waiting for it.
HWND WaitForPopupOf(HWND owner, DWORD timeoutMs);

// A dialog without owner titled title (the failed start's message box), waiting for it.
HWND WaitForDialogTitled(const char* title, DWORD timeoutMs);

// Waits until window is gone.
bool WaitUntilGone(HWND window, DWORD timeoutMs);

}  // namespace standin
