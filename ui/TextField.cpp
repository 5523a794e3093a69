#include "ui/TextField.h"

namespace ombrel {

std::string ReadTextField(HWND page, int fieldId) {
    char text[kTextFieldUnits] = "";
    ::GetDlgItemTextA(page, fieldId, text, kTextFieldUnits);
    return text;
}

std::wstring ReadWideTextField(HWND page, int fieldId) {
    wchar_t text[kTextFieldUnits] = L"";
    ::GetDlgItemTextW(page, fieldId, text, kTextFieldUnits);
    return text;
}

}  // namespace ombrel
