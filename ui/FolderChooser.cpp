#include "ui/FolderChooser.h"

#include <shlobj.h>

#include "ui/TextField.h"

namespace ombrel {
namespace {

// The chooser's own callback: selects the folder the field showed once the dialog is up.
int CALLBACK OnChooserEvent(HWND chooser, UINT message, LPARAM, LPARAM start) {
    if (message == BFFM_INITIALIZED && start) ::SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

}  // namespace

void ChooseArchiveFolder(HWND page, int fieldId) {
    WCHAR start[kTextFieldUnits] = L"";
    ::GetDlgItemTextW(page, fieldId, start, kTextFieldUnits);

    BROWSEINFOW info{};
    info.hwndOwner = page;
    info.lpszTitle = L"録音したファイルを置くフォルダを選んでください。";
    // The folder-only chooser of every Windows from XP on; the newer style adds a "new folder"
    // button (it needs the apartment the player's main thread already has).
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = OnChooserEvent;
    info.lParam = reinterpret_cast<LPARAM>(start);
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (!chosen) return;
    WCHAR folder[MAX_PATH] = L"";
    if (::SHGetPathFromIDListW(chosen, folder) && folder[0]) ::SetDlgItemTextW(page, fieldId, folder);
    ::CoTaskMemFree(chosen);
}

}  // namespace ombrel
