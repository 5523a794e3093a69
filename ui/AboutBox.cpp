// The About box: names the plug-in and its version; Enter, Escape, OK and the close box end it.
#include "ui/AboutBox.h"

#include "plugin/ProductName.h"
#include "ui/ResourceIds.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

constexpr char kTitle[] = "Ombrel DSP plugin" " バージョン情報";

INT_PTR OnInitDialog(HWND box) {
    ::SetWindowTextA(box, kTitle);
    ::SetDlgItemTextA(box, IDC_ABOUT_PRODUCT, kProductName);
    return TRUE;
}

// The dialog manager turns Enter into the default button's id and Escape and the close box
// into IDCANCEL.
INT_PTR OnCommand(HWND box, int id) {
    if (id != IDOK && id != IDCANCEL) return FALSE;
    ::EndDialog(box, id);
    return TRUE;
}

INT_PTR CALLBACK AboutBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
    return win::Firewall(static_cast<INT_PTR>(FALSE), [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(box);
        case WM_COMMAND:
            return OnCommand(box, LOWORD(wParam));
        }
        return FALSE;
    });
}

}  // namespace

void RunAboutBox(HINSTANCE instance, HWND owner) {
    ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutBoxProc, 0);
}

}  // namespace ombrel
