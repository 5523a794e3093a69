#include "ui/TextField.h"

#include <vector>

namespace ombrel {
namespace {

// The field's whole text, however long.
std::string WholeText(HWND field) {
    std::vector<char> text(static_cast<size_t>(::GetWindowTextLengthA(field)) + 1, '\0');
    ::GetWindowTextA(field, text.data(), static_cast<int>(text.size()));
    return text.data();
}

std::wstring WholeWideText(HWND field) {
    std::vector<wchar_t> text(static_cast<size_t>(::GetWindowTextLengthW(field)) + 1, L'\0');
    ::GetWindowTextW(field, text.data(), static_cast<int>(text.size()));
    return text.data();
}

}  // namespace

std::string ReadTextField(HWND page, int fieldId, const std::string& stored) {
    if (WholeText(::GetDlgItem(page, fieldId)) == stored) return stored;
    // The platform cuts at a character boundary of the code page.
    char text[kTextFieldUnits] = "";
    ::GetDlgItemTextA(page, fieldId, text, kTextFieldUnits);
    return text;
}

std::wstring ReadWideTextField(HWND page, int fieldId, const std::wstring& stored) {
    if (WholeWideText(::GetDlgItem(page, fieldId)) == stored) return stored;
    wchar_t text[kTextFieldUnits] = L"";
    ::GetDlgItemTextW(page, fieldId, text, kTextFieldUnits);
    return text;
}

}  // namespace ombrel
