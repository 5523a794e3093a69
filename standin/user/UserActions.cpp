#include "standin/user/UserActions.h"

namespace standin {
namespace {

template <typename Find>
HWND WaitFor(DWORD timeoutMs, Find find) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (HWND found = find()) return found;
        if (::GetTickCount() - start >= timeoutMs) return nullptr;
        ::Sleep(50);
    }
}

}  // namespace

HWND WaitForPluginWindow(DWORD timeoutMs) {
    return WaitFor(timeoutMs, [] { return ::FindWindowA(nullptr, "Ombrel DSP plugin"); });
}

HWND WaitForPopupOf(HWND owner, DWORD timeoutMs) {
    return WaitFor(timeoutMs, [owner]() -> HWND {
        // GetLastActivePopup rather than GW_ENABLEDPOPUP, which Wine does not answer.
        HWND popup = ::GetLastActivePopup(owner);
        return popup && popup != owner && ::IsWindowVisible(popup) ? popup : nullptr;
    });
}

HWND WaitForDialogTitled(const char* title, DWORD timeoutMs) {
    return WaitFor(timeoutMs, [title]() -> HWND {
        HWND box = ::FindWindowA("#32770", title);
        return box && ::IsWindowVisible(box) ? box : nullptr;
    });
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
    return WaitFor(timeoutMs, [window]() -> HWND {
               return ::IsWindow(window) ? nullptr : reinterpret_cast<HWND>(1);
           }) != nullptr;
}

}  // namespace standin
