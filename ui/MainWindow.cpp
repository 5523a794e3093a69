#include "ui/MainWindow.h"

#include <commctrl.h>

#include <atomic>

#include "ui/MainWindowProc.h"
#include "ui/ResourceIds.h"
#include "ui/ScriptField.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

// Read by the meter thread and song tracking; written on the window's thread.
std::atomic<HWND> g_handle{nullptr};
std::atomic<HINSTANCE> g_instance{nullptr};
// The owner of the dialog, on the window's thread. However the dialog ends (this owner, its
// close box, its owner window's destruction), its WM_DESTROY lets go of it here.
win::UniqueWindow g_dialog;

void RegisterBarClasses() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX classes{};
        classes.dwSize = sizeof(classes);
        classes.dwICC = ICC_BAR_CLASSES | ICC_COOL_CLASSES;
        return ::InitCommonControlsEx(&classes) != FALSE;
    }();
    (void)registered;
}

}  // namespace

void OpenMainWindow(HINSTANCE instance, HWND parent) {
    HWND existing = g_handle.load();
    if (existing && ::IsWindow(existing)) {
        ::SetForegroundWindow(existing);
        return;
    }
    g_instance = instance;
    RegisterBarClasses();
    g_dialog.reset(::CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_WINDOW), parent,
                                        MainWindowProc, 0));
    g_handle = g_dialog.get();
    if (g_dialog) ::ShowWindow(g_dialog.get(), SW_SHOW);
}

void CloseMainWindow() {
    g_dialog.reset();
    g_handle = nullptr;
}

HWND MainWindowHandle() { return g_handle.load(); }

HINSTANCE MainWindowInstance() { return g_instance.load(); }

void ShowScriptText(const char* text) {
    SetScriptText(g_handle.load(), text);
}

void ForgetMainWindow(HWND dialog) {
    g_handle.compare_exchange_strong(dialog, nullptr);
    if (g_dialog.get() == dialog) (void)g_dialog.release();
}

}  // namespace ombrel
