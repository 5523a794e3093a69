#include "plugin/PlayerHooks.h"

#include "win/UniqueAny.h"

namespace ombrel {
namespace {

win::UniqueHook _hHookCallWnd;
win::UniqueHook _hHookGetMsg;

}  // namespace

void InstallPlayerHooks(HWND player) {
    DWORD thread = player ? ::GetWindowThreadProcessId(player, nullptr) : 0;
    // Thread 0 would make a system-wide hook out of a procedure that lives in this DLL.
    if (thread == 0) return;
    _hHookCallWnd.reset(::SetWindowsHookExA(WH_CALLWNDPROC, CallWndProcHook, nullptr, thread));
    _hHookGetMsg.reset(::SetWindowsHookExA(WH_GETMESSAGE, GetMsgProcHook, nullptr, thread));
}

void RemovePlayerHooks() {
    _hHookCallWnd.reset();
    _hHookGetMsg.reset();
}

bool PlayerHooksInstalled() { return _hHookCallWnd || _hHookGetMsg; }

// The playing-file notification (WM_USER, lParam 3003) is picked out of the player's messages
// here once song tracking exists (issue #6); until then both hooks only pass the call on.
LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam, LPARAM lParam) {
    return ::CallNextHookEx(_hHookCallWnd.get(), code, wParam, lParam);
}

LRESULT CALLBACK GetMsgProcHook(int code, WPARAM wParam, LPARAM lParam) {
    return ::CallNextHookEx(_hHookGetMsg.get(), code, wParam, lParam);
}

}  // namespace ombrel
