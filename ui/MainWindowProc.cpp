#include "ui/MainWindowProc.h"

#include <commctrl.h>

#include "plugin/BroadcastControl.h"
#include "plugin/PluginState.h"
#include "plugin/PortMapping.h"
#include "ui/AboutBox.h"
#include "ui/ClipboardText.h"
#include "ui/CommandState.h"
#include "ui/LevelMeter.h"
#include "ui/MainToolbar.h"
#include "ui/MainWindow.h"
#include "ui/Monitor.h"
#include "ui/ResourceIds.h"
#include "ui/ScriptField.h"
#include "ui/SettingsSheet.h"
#include "win/ExceptionFirewall.h"
#include "win/WindowTimer.h"

namespace ombrel {
namespace {

constexpr char kWindowTitle[] = "Ombrel DSP plugin";
constexpr UINT_PTR kMonitorTimer = 1000;
constexpr UINT kMonitorPeriodMs = 500;

// The parts of the one main window; touched only on its thread.
struct WindowParts {
    MainToolbar bar;
    win::WindowTimer monitor;
};

WindowParts& Parts() {
    static WindowParts parts;
    return parts;
}

void Refresh(HWND dialog) {
    RefreshCommandState(dialog, Parts().bar.toolbar.get());
}

INT_PTR OnInitDialog(HWND dialog) {
    ::SetWindowTextA(dialog, kWindowTitle);
    WindowParts& parts = Parts();
    parts.bar = CreateMainToolbar(dialog, MainWindowInstance());
    parts.monitor = win::WindowTimer(dialog, kMonitorTimer, kMonitorPeriodMs);
    UpdateMonitor(dialog);
    Refresh(dialog);
    BuildGradientImage(dialog);
    return TRUE;
}

void OnStartBroadcast(HWND dialog) {
    if (!IsBroadcasting()) StartBroadcast();
    // The start's message box runs a message loop in which the window may have been closed.
    if (!::IsWindow(dialog)) return;
    Refresh(dialog);
    // The monitor's lines belong to this broadcast from the first moment, not the last one's.
    UpdateMonitor(dialog);
}

void OnStopBroadcast(HWND dialog) {
    if (IsBroadcasting()) StopBroadcast();
    Refresh(dialog);
    UpdateMonitor(dialog);
}

void OnSongDetect(HWND dialog) {
    _fSongDetect = _fSongDetect.load() ? 0 : 1;
    Refresh(dialog);
}

// The address listeners use, for the broadcaster to paste where listeners read it.
void OnCopyListenAddress(HWND dialog) {
    const std::string address = ListenAddress(CurrentPortMapping());
    CopyTextToClipboard(dialog, std::wstring(address.begin(), address.end()));
}

// The monitor's own menu, at the mouse, or below the monitor's title from the keyboard.
INT_PTR OnContextMenu(HWND dialog, LPARAM lParam) {
    HMENU menus = ::LoadMenuA(MainWindowInstance(), MAKEINTRESOURCEA(IDR_MONITOR_MENU));
    if (!menus) return FALSE;
    POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (lParam == static_cast<LPARAM>(-1)) {
        at = POINT{0, 0};
        HWND address = ::GetDlgItem(dialog, IDC_LISTEN_ADDRESS);
        if (address) ::ClientToScreen(address, &at);
    }
    ::TrackPopupMenu(::GetSubMenu(menus, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, dialog, nullptr);
    ::DestroyMenu(menus);
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDM_START_BROADCAST: OnStartBroadcast(dialog); return TRUE;
    case IDM_STOP_BROADCAST: OnStopBroadcast(dialog); return TRUE;
    case IDM_SONG_DETECT: OnSongDetect(dialog); return TRUE;
    case IDM_COPY_LISTEN_ADDRESS: OnCopyListenAddress(dialog); return TRUE;
    case IDM_SETTINGS: RunSettingsSheet(MainWindowInstance(), dialog); return TRUE;
    case IDM_CLOSE: ::SendMessageA(dialog, WM_CLOSE, 0, 0); return TRUE;
    case IDM_ABOUT: RunAboutBox(MainWindowInstance(), dialog); return TRUE;
    // Enter and Escape: a dialog would close on them, this window stays.
    case IDOK:
    case IDCANCEL: return TRUE;
    default: return FALSE;
    }
}

INT_PTR OnTimer(HWND dialog, WPARAM id) {
    if (id == kMonitorTimer) UpdateMonitor(dialog);
    return TRUE;
}

INT_PTR OnNotify(LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header && header->code == TTN_NEEDTEXTA)
        FillToolbarTooltip(reinterpret_cast<NMTTDISPINFOA*>(header));
    return FALSE;
}

INT_PTR OnDestroy(HWND dialog) {
    // The meter thread reads the handle before each pass: it goes before the gradient does.
    ForgetMainWindow(dialog);
    DestroyGradientImage();
    WindowParts& parts = Parts();
    parts.monitor.reset();
    // The toolbar lives inside the rebar: it goes first, then its images.
    parts.bar.toolbar.reset();
    parts.bar.rebar.reset();
    parts.bar.images.reset();
    return FALSE;
}

INT_PTR Dispatch(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog(dialog);
    case WM_COMMAND: return OnCommand(dialog, wParam);
    case WM_TIMER: return OnTimer(dialog, wParam);
    case WM_NOTIFY: return OnNotify(lParam);
    case WM_CONTEXTMENU: return OnContextMenu(dialog, lParam);
    case WM_CLOSE: ::DestroyWindow(dialog); return TRUE;
    case WM_DESTROY: return OnDestroy(dialog);
    case kShowPendingScriptText: ShowPendingScriptText(dialog); return TRUE;
    default: return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK MainWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return win::Firewall(INT_PTR(FALSE), [&] { return Dispatch(dialog, message, wParam, lParam); });
}

}  // namespace ombrel
