// Number fields of the settings pages: an edit control that takes digits only, with an up-down
// control attached that spins within a range and writes its position into the field.
#pragma once

#include <windows.h>

namespace ombrel {

// An unsigned decimal: one or more digits and nothing else, at most 4294967295.
bool ParseUnsignedDecimal(const char* text, DWORD* value) noexcept;

// The field's text (cut at 1023 characters) parsed as above.
bool ReadNumberField(HWND page, int fieldId, DWORD* value) noexcept;

// Shows value as an unsigned decimal.
void WriteNumberField(HWND page, int fieldId, DWORD value) noexcept;

// Gives the up-down its range and value as position, then shows value in the field. The
// field is written last: the up-down would write its clamped position into it, and a stored
// value outside the range must still be shown as it is.
void InitNumberField(HWND page, int fieldId, int spinId, int low, int high, DWORD value) noexcept;

// The leave check of a field whose stored value must lie in low..high: a field that does not
// parse or lies outside shows stored again, and the check fails.
bool CheckNumberField(HWND page, int fieldId, DWORD low, DWORD high, DWORD stored) noexcept;

}  // namespace ombrel
