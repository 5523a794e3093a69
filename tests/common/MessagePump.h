// The message loop of a test thread that plays the player's main thread.
#pragma once

#include <windows.h>

namespace ombrel::test {

// Dispatches this thread's messages for ms milliseconds, or until done() holds. The keyboard
// messages of the modeless dialog that dialog() names go through IsDialogMessage, as a host
// that supports modeless dialogs dispatches them.
template <typename Done, typename Dialog>
bool PumpUntil(DWORD ms, Done done, Dialog dialog) {
    DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            HWND window = dialog();
            if (window && ::IsDialogMessageA(window, &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (done()) return true;
        if (::GetTickCount() - start >= ms) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

template <typename Done>
bool PumpUntil(DWORD ms, Done done) {
    return PumpUntil(ms, done, [] { return HWND(nullptr); });
}

inline void Pump(DWORD ms) {
    PumpUntil(ms, [] { return false; });
}

}  // namespace ombrel::test
