// Private messages the audio thread posts to the player's main window, so that everything the
// plug-in sees of the window happens on the window's own thread.
#pragma once

#include <windows.h>

namespace standin {

constexpr UINT kMsgTrackStarted = WM_APP + 1;   // wParam = playlist index, lParam = run number
constexpr UINT kMsgPlaylistEnded = WM_APP + 2;  // lParam = run number

}  // namespace standin
