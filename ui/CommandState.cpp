#include "ui/CommandState.h"

#include <commctrl.h>

#include "plugin/BroadcastControl.h"
#include "plugin/PluginState.h"
#include "ui/ResourceIds.h"
#include "ui/ScriptField.h"

namespace ombrel {
namespace {

void SetButtons(HWND toolbar, bool broadcasting, bool songDetect) {
    if (!toolbar) return;
    ::SendMessageA(toolbar, TB_ENABLEBUTTON, IDM_START_BROADCAST, MAKELPARAM(!broadcasting, 0));
    ::SendMessageA(toolbar, TB_ENABLEBUTTON, IDM_SETTINGS, MAKELPARAM(!broadcasting, 0));
    ::SendMessageA(toolbar, TB_ENABLEBUTTON, IDM_STOP_BROADCAST, MAKELPARAM(broadcasting, 0));
    ::SendMessageA(toolbar, TB_CHECKBUTTON, IDM_SONG_DETECT, MAKELPARAM(songDetect, 0));
}

void SetMenuItems(HMENU menu, bool broadcasting, bool songDetect) {
    if (!menu) return;
    const UINT whileIdle = MF_BYCOMMAND | (broadcasting ? MF_GRAYED : MF_ENABLED);
    const UINT whileBroadcasting = MF_BYCOMMAND | (broadcasting ? MF_ENABLED : MF_GRAYED);
    ::EnableMenuItem(menu, IDM_START_BROADCAST, whileIdle);
    ::EnableMenuItem(menu, IDM_SETTINGS, whileIdle);
    ::EnableMenuItem(menu, IDM_STOP_BROADCAST, whileBroadcasting);
    ::CheckMenuItem(menu, IDM_SONG_DETECT, MF_BYCOMMAND | (songDetect ? MF_CHECKED : MF_UNCHECKED));
}

}  // namespace

void RefreshCommandState(HWND dialog, HWND toolbar) {
    const bool broadcasting = IsBroadcasting() != 0;
    const bool songDetect = _fSongDetect.load() != 0;
    SetButtons(toolbar, broadcasting, songDetect);
    SetMenuItems(::GetMenu(dialog), broadcasting, songDetect);
    ClearScriptText(dialog);
}

}  // namespace ombrel
