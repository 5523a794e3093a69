#include "standin/player/PlayerWindow.h"

#include "plugin/PlayerRequests.h"
#include "standin/player/PlayerMessages.h"

namespace standin {
bool PlayerWindow::RegisterClassOnce() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &PlayerWindow::Proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kPlayerWindowClass;
    return ::RegisterClassExA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

PlayerWindow::PlayerWindow(PlayerWindowHandler& handler, const char* title) : handler_(handler) {
    static const bool registered = RegisterClassOnce();
    if (!registered) return;
    window_.reset(::CreateWindowExA(0, kPlayerWindowClass, title, WS_OVERLAPPEDWINDOW,
                                    CW_USEDEFAULT, CW_USEDEFAULT, 400, 120, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), this));
}

LRESULT CALLBACK PlayerWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<PlayerWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    try {
        switch (msg) {
        case kPlayerMessage:
            return self->handler_.OnPlayerRequest(wParam, lParam);
        case kMsgTrackStarted:
            self->handler_.OnTrackStarted(int(wParam), lParam);
            return 0;
        case kMsgPlaylistEnded:
            self->handler_.OnPlaylistEnded(lParam);
            return 0;
        case WM_CLOSE:
            self->handler_.OnCloseRequested();  // the owner decides when the window goes
            return 0;
        case WM_NCDESTROY:
            ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            break;
        }
    } catch (...) {
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace standin
