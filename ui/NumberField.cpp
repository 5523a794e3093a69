#include "ui/NumberField.h"

#include <commctrl.h>

#include <cstdio>

#include "ui/TextField.h"

namespace ombrel {

bool ParseUnsignedDecimal(const char* text, DWORD* value) noexcept {
    if (!text || !*text) return false;
    unsigned long long number = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9') return false;
        number = number * 10 + static_cast<unsigned>(*c - '0');
        if (number > 0xFFFFFFFFull) return false;
    }
    *value = static_cast<DWORD>(number);
    return true;
}

bool ReadNumberField(HWND page, int fieldId, DWORD* value) noexcept {
    char text[kTextFieldUnits] = "";
    ::GetDlgItemTextA(page, fieldId, text, kTextFieldUnits);
    return ParseUnsignedDecimal(text, value);
}

void WriteNumberField(HWND page, int fieldId, DWORD value) noexcept {
    char text[16];
    std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(value));
    ::SetDlgItemTextA(page, fieldId, text);
}

void InitNumberField(HWND page, int fieldId, int spinId, int low, int high, DWORD value) noexcept {
    HWND spin = ::GetDlgItem(page, spinId);
    ::SendMessageA(spin, UDM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
    ::SendMessageA(spin, UDM_SETPOS32, 0, static_cast<LPARAM>(value));
    WriteNumberField(page, fieldId, value);
}

bool CheckNumberField(HWND page, int fieldId, DWORD low, DWORD high, DWORD stored) noexcept {
    DWORD value = 0;
    if (ReadNumberField(page, fieldId, &value) && value >= low && value <= high) return true;
    WriteNumberField(page, fieldId, stored);
    return false;
}

}  // namespace ombrel
