// The plug-in's one permanent window: a modeless dialog with the menu, the toolbar, the monitor,
// the script field and the level meter's control. Runs on the player's user-interface thread.
#pragma once

#include <windows.h>

namespace ombrel {

// Init and Config: brings an open window to the front, otherwise creates dialog 102 from
// instance with parent as its owner and shows it.
void OpenMainWindow(HINSTANCE instance, HWND parent);

// Quit, after the meter thread has ended: destroys the window if it exists.
void CloseMainWindow();

// The dialog, or null while none exists. Read by other threads (meter, song tracking).
HWND MainWindowHandle();

// The instance the window was last created from: the resources of the sheet and About box.
HINSTANCE MainWindowInstance();

// Shows text in the script field (1044) when the window exists; any thread.
void ShowScriptText(const char* text);

}  // namespace ombrel
