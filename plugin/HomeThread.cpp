#include "plugin/HomeThread.h"

#include <atomic>

#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

constexpr char kHomeWindowClass[] = "OmbrelHomeThread";
constexpr UINT kRunWork = WM_APP + 1;

std::atomic<HWND> g_home{nullptr};
std::atomic<DWORD> g_homeThread{0};

LRESULT CALLBACK HomeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kRunWork) return ::DefWindowProcA(window, message, wParam, lParam);
    win::Firewall([&] { reinterpret_cast<void (*)()>(wParam)(); });
    return 1;
}

void DestroyHomeWindow() {
    HWND home = g_home.exchange(nullptr);
    if (home) ::DestroyWindow(home);
}

}  // namespace

void OpenHomeThread(HINSTANCE instance) {
    g_homeThread = ::GetCurrentThreadId();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = HomeWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kHomeWindowClass;
    ::RegisterClassA(&windowClass);
    g_home = ::CreateWindowExA(0, kHomeWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
}

bool OnHomeThread() { return g_homeThread == ::GetCurrentThreadId(); }

bool RunOnHomeThread(void (*work)(), DWORD ms) {
    if (OnHomeThread()) {
        work();
        return true;
    }
    HWND home = g_home.load();
    DWORD_PTR done = 0;
    return home && ::SendMessageTimeoutA(home, kRunWork, reinterpret_cast<WPARAM>(work), 0, SMTO_ABORTIFHUNG,
                                         ms, &done) &&
           done == 1;
}

void CloseHomeThread(HINSTANCE instance) {
    if (!RunOnHomeThread(DestroyHomeWindow, kHomeThreadWaitMs)) g_home = nullptr;
    // Fails while a window of the class is left (a home thread that never answered): the class
    // then stays, as that window does.
    ::UnregisterClassA(kHomeWindowClass, instance);
    g_homeThread = 0;
}

}  // namespace ombrel
