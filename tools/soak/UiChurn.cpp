#include "tools/soak/UiChurn.h"

#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <string>

#include "ui/MainWindow.h"
#include "ui/ResourceIds.h"

namespace ombrel::test::soak {
namespace {

constexpr DWORD kSheetOpenMs = 300;
constexpr DWORD kWindowClosedMs = 700;
constexpr DWORD kCancelAgainMs = 1000;

BOOL CALLBACK CollectSheet(HWND window, LPARAM found) {
    char name[64] = "";
    ::GetClassNameA(window, name, sizeof name);
    if (std::string(name) == "#32770" && ::FindWindowExA(window, nullptr, WC_TABCONTROLA, nullptr)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND OpenSheet() {
    HWND sheet = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), CollectSheet, reinterpret_cast<LPARAM>(&sheet));
    return sheet;
}

bool Due(DWORD now, DWORD at) { return static_cast<LONG>(now - at) >= 0; }

}  // namespace

void UiChurn::Step() {
    const DWORD now = ::GetTickCount();
    if (windowClosed_) {
        if (!Due(now, reopenAt_)) return;
        host_.Config();
        longestReopen_ = std::max(longestReopen_, ::GetTickCount() - now);
        windowClosed_ = false;
        return;
    }
    if (!Due(now, next_)) return;
    if (sheetTurn_) {
        sheetOpen_ = true;
        sheetCloseAt_ = now + kSheetOpenMs;
        cancelsPosted_ = 0;
        if (host_.Command(IDM_SETTINGS)) ++sheets_;
        sheetOpen_ = false;
        longestSheet_ = std::max(longestSheet_, ::GetTickCount() - now);
    } else if (host_.Command(IDM_CLOSE)) {
        ++windows_;
        windowClosed_ = true;
        reopenAt_ = ::GetTickCount() + kWindowClosedMs;
    }
    // The pause runs from the end of the action: a sheet can take seconds to build.
    next_ = ::GetTickCount() + everyMs_;
    sheetTurn_ = !sheetTurn_;
}

void UiChurn::Tick() {
    if (!sheetOpen_) return;
    const DWORD now = ::GetTickCount();
    if (!Due(now, sheetCloseAt_)) return;
    HWND sheet = OpenSheet();
    if (!sheet) return;
    if (cancelsPosted_ > 0) ++cancelsRepeated_;
    ++cancelsPosted_;
    ::PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    sheetCloseAt_ = now + kCancelAgainMs;
}

void UiChurn::Finish() {
    if (windowClosed_ || !ombrel::MainWindowHandle()) host_.Config();
    windowClosed_ = false;
}

}  // namespace ombrel::test::soak
