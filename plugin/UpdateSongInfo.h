// One title update: read the current file's tags, send the title as a script command and to
// the main window, and on a track change to the PeerCast node.
#pragma once

#include <windows.h>

namespace ombrel {

// Worker (changed as found, keep-alive 0) and timer (changed 0). Tags are read when changed
// is set or keep-alive is not; a failed read sends nothing. With the script stream on and an
// encoder lent: keep-alive sends an empty command, otherwise "TEXT" with the script template,
// also shown in the main window. A change reaches PeerCast when it is enabled (blocking for
// the node's answer). Does nothing while not broadcasting.
HRESULT UpdateSongInfo(HWND player, bool changed, bool keepAlive);

}  // namespace ombrel
