// The settings sheet: five pages run modally over the main window; the settings file is
// written whenever the sheet closes, by OK or by Cancel.
#include "ui/SettingsSheet.h"

#include <commctrl.h>
#include <prsht.h>

#include "plugin/Settings.h"
#include "ui/ResourceIds.h"
#include "ui/SettingsPages.h"
#include "ui/SettingsSheetWindow.h"

namespace ombrel {
namespace {

constexpr char kCaption[] = "配信設定";

PROPSHEETPAGEA MakePage(HINSTANCE instance, int dialogId, const char* title, DLGPROC procedure) {
    PROPSHEETPAGEA page{};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USETITLE;
    page.hInstance = instance;
    page.pszTemplate = MAKEINTRESOURCEA(dialogId);
    page.pszTitle = title;
    page.pfnDlgProc = procedure;
    return page;
}

}  // namespace

void RunSettingsSheet(HINSTANCE instance, HWND owner) {
    // The pages' templates name the up-down class.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&controls);

    // The platform creates each page's window the first time it is shown.
    PROPSHEETPAGEA pages[] = {
        MakePage(instance, IDD_PAGE_CODEC, "圧縮", CodecPageProc),
        MakePage(instance, IDD_PAGE_OUTPUT, "出力", OutputPageProc),
        MakePage(instance, IDD_PAGE_ATTRIBUTES, "属性", AttributesPageProc),
        MakePage(instance, IDD_PAGE_SCRIPT, "スクリプト", ScriptPageProc),
        MakePage(instance, IDD_PAGE_PEERCAST, "PeerCast", PeerCastPageProc),
    };

    PROPSHEETHEADERA header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hwndParent = owner;
    header.hInstance = instance;
    header.pszCaption = kCaption;
    header.nPages = sizeof pages / sizeof pages[0];
    header.nStartPage = 0;
    header.ppsp = pages;
    ::PropertySheetA(&header);

    ForgetSheetWindow();
    SaveSettings();
}

void CloseSettingsSheet() {
    HWND sheet = RememberedSheetWindow();
    if (!sheet) return;
    ::SendMessageA(sheet, WM_CLOSE, 0, 0);
    ForgetSheetWindow();
}

}  // namespace ombrel
