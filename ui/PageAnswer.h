// How a page answers the sheet: a dialog procedure returns TRUE for "handled" and leaves the
// notification's own result in DWLP_MSGRESULT.
#pragma once

#include <windows.h>
#include <prsht.h>

namespace ombrel {

inline INT_PTR AnswerNotification(HWND page, LONG_PTR result) noexcept {
    ::SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
    return TRUE;
}

// The leave notification: true keeps the page shown and the sheet open.
inline INT_PTR AnswerLeave(HWND page, bool mayLeave) noexcept { return AnswerNotification(page, mayLeave ? FALSE : TRUE); }

// The apply notification after the write-back.
inline INT_PTR AnswerApplied(HWND page) noexcept { return AnswerNotification(page, PSNRET_NOERROR); }

inline bool IsChecked(HWND page, int id) noexcept { return ::IsDlgButtonChecked(page, id) == BST_CHECKED; }

inline void SetChecked(HWND page, int id, BOOL on) noexcept {
    ::CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED);
}

// Item data of the selected entry of a combo box; false when nothing is selected.
inline bool SelectedItemData(HWND page, int id, DWORD* data) noexcept {
    HWND list = ::GetDlgItem(page, id);
    LRESULT item = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (!list || item == CB_ERR) return false;
    *data = static_cast<DWORD>(::SendMessageA(list, CB_GETITEMDATA, item, 0));
    return true;
}

}  // namespace ombrel
