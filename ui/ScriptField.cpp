#include "ui/ScriptField.h"

#include <string>

#include "ui/ResourceIds.h"
#include "win/CriticalSection.h"

namespace ombrel {
namespace {

struct PendingText {
    win::CriticalSection lock;
    std::string text;
    bool waiting = false;
};

PendingText& Pending() {
    static PendingText pending;
    return pending;
}

void DropPending() {
    PendingText& pending = Pending();
    win::CsLock hold(pending.lock);
    pending.waiting = false;
    pending.text.clear();
}

}  // namespace

void SetScriptText(HWND dialog, const char* text) {
    if (!dialog) return;
    const char* shown = text ? text : "";
    if (::GetWindowThreadProcessId(dialog, nullptr) == ::GetCurrentThreadId()) {
        DropPending();
        ::SetDlgItemTextA(dialog, IDC_SCRIPT_TEXT, shown);
        return;
    }
    {
        PendingText& pending = Pending();
        win::CsLock hold(pending.lock);
        pending.text = shown;
        pending.waiting = true;
    }
    ::PostMessageA(dialog, kShowPendingScriptText, 0, 0);
}

void ShowPendingScriptText(HWND dialog) {
    std::string text;
    {
        PendingText& pending = Pending();
        win::CsLock hold(pending.lock);
        if (!pending.waiting) return;
        text.swap(pending.text);
        pending.waiting = false;
    }
    ::SetDlgItemTextA(dialog, IDC_SCRIPT_TEXT, text.c_str());
}

void ClearScriptText(HWND dialog) {
    DropPending();
    ::SetDlgItemTextA(dialog, IDC_SCRIPT_TEXT, "");
}

}  // namespace ombrel
