// Which of the main window's commands are available: start and settings only while idle, stop
// only while broadcasting, song detection checked while on.
#pragma once

#include <windows.h>

namespace ombrel {

// Sets the toolbar buttons and the menu items from the broadcasting and song-detection flags
// and empties the script field.
void RefreshCommandState(HWND dialog, HWND toolbar);

}  // namespace ombrel
