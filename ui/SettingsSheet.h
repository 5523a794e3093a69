// The modal settings property sheet: five pages that edit the settings, written to the
// settings file whenever the sheet closes.
#pragma once

#include <windows.h>

namespace ombrel {

// Runs the sheet with owner as its parent and returns when it closes.
void RunSettingsSheet(HINSTANCE instance, HWND owner);

// Quit: asks an open sheet to close and forgets it.
void CloseSettingsSheet();

}  // namespace ombrel
