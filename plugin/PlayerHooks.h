// The two hooks on the player's window thread through which the plug-in sees track changes.
#pragma once

#include <windows.h>

namespace ombrel {

// Installs the call-window-procedure hook, then the get-message hook, on the thread that owns
// the player's window. Failures only leave track changes unseen.
void InstallPlayerHooks(HWND player);
// Removes the call-window-procedure hook, then the get-message hook.
void RemovePlayerHooks();
bool PlayerHooksInstalled();

LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK GetMsgProcHook(int code, WPARAM wParam, LPARAM lParam);

}  // namespace ombrel
