// Text fields of the settings pages. What the user typed is read into a buffer of 1024 units
// with its terminator, so a typed text keeps its first 1023 characters; a field left as it was
// shown keeps its stored value whole, so pressing OK never cuts a longer stored text.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

constexpr int kTextFieldUnits = 1024;

// Narrow text in the system code page: the field's new value, or stored if it still shows it.
std::string ReadTextField(HWND page, int fieldId, const std::string& stored);
// UTF-16 text, for the stream attributes.
std::wstring ReadWideTextField(HWND page, int fieldId, const std::wstring& stored);

}  // namespace ombrel
