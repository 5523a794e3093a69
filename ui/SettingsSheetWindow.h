// The open settings sheet's window, remembered so that Quit can close a sheet that is still
// open when the plug-in unloads. Used on the player's user-interface thread only.
#pragma once

#include <windows.h>

namespace ombrel {

// The audio codec page remembers its sheet when it initialises.
void RememberSheetWindow(HWND sheet) noexcept;
// When the sheet closes (or is cancelled from the codec page) the window is forgotten, so a
// later Quit never sends to a handle that may name another window by then.
void ForgetSheetWindow() noexcept;
// Null while no sheet is open.
HWND RememberedSheetWindow() noexcept;

}  // namespace ombrel
