// Text fields of the settings pages, read into a buffer of 1024 units with its terminator:
// longer texts keep their first 1023 characters.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

constexpr int kTextFieldUnits = 1024;

// Narrow text in the system code page.
std::string ReadTextField(HWND page, int fieldId);
// UTF-16 text, for the stream attributes.
std::wstring ReadWideTextField(HWND page, int fieldId);

}  // namespace ombrel
