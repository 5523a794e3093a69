#include "plugin/PlayerHooks.h"

#include "plugin/BroadcastControl.h"
#include "plugin/PlayLog.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/SongWorker.h"
#include "win/ExceptionFirewall.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

win::UniqueHook _hHookCallWnd;
win::UniqueHook _hHookGetMsg;

// Runs inside the player's own message handling: the log line and a path copy, nothing slow.
// A 5.3 or later player announces each file twice (3003 and 13003): the log line goes with
// 3003, which every version sends, and the worker acts once for the pair.
void OnPlayerMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kPlayerMessage) return;
    if (lParam == kNotifyPlayingFile) {
        win::Firewall([&] {
            NoteAnnouncement();
            if (IsBroadcasting() && _settings.extra._fPlayLog) AppendPlayLog();
            if (_fSongDetect) NotifyPlayingFile(reinterpret_cast<const char*>(wParam));
        });
    } else if (lParam == kNotifyPlayingFileW) {
        win::Firewall([&] {
            NoteAnnouncement();
            if (_fSongDetect) NotifyPlayingFileW(reinterpret_cast<const wchar_t*>(wParam));
        });
    }
}

}  // namespace

void InstallPlayerHooks(HWND player) {
    DWORD process = 0;
    DWORD thread = player ? ::GetWindowThreadProcessId(player, &process) : 0;
    // Thread 0 would make a system-wide hook out of a procedure that lives in this DLL, and a
    // thread of another process would load the DLL there: the poll follows such a player instead.
    if (thread == 0 || process != ::GetCurrentProcessId()) return;
    _hHookCallWnd.reset(::SetWindowsHookExA(WH_CALLWNDPROC, CallWndProcHook, nullptr, thread));
    _hHookGetMsg.reset(::SetWindowsHookExA(WH_GETMESSAGE, GetMsgProcHook, nullptr, thread));
}

void RemovePlayerHooks() {
    _hHookCallWnd.reset();
    _hHookGetMsg.reset();
}

bool PlayerHooksInstalled() { return _hHookCallWnd || _hHookGetMsg; }

// Neither hook looks at the target window: the notification counts whichever window of the
// player's thread it goes to.
LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && lParam) {
        const CWPSTRUCT& call = *reinterpret_cast<const CWPSTRUCT*>(lParam);
        OnPlayerMessage(call.message, call.wParam, call.lParam);
    }
    return ::CallNextHookEx(_hHookCallWnd.get(), code, wParam, lParam);
}

// Also sees messages that are only peeked at.
LRESULT CALLBACK GetMsgProcHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && lParam) {
        const MSG& msg = *reinterpret_cast<const MSG*>(lParam);
        OnPlayerMessage(msg.message, msg.wParam, msg.lParam);
    }
    return ::CallNextHookEx(_hHookGetMsg.get(), code, wParam, lParam);
}

}  // namespace ombrel
