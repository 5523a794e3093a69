// The encoder's one-line error message: printf-formatted into 256 characters, cut at 255.
#pragma once

#include <windows.h>

namespace ombrel {

constexpr size_t kErrorTextSize = 256;
constexpr HRESULT kInsufficientBuffer = static_cast<HRESULT>(0x8007007A);

// Formats into text (always terminated; a longer message is cut at 255 characters).
void FormatErrorText(char (&text)[kErrorTextSize], const char* format, ...) noexcept
    __attribute__((format(gnu_printf, 2, 3)));

// Copies text into buffer of size characters, at most size - 1 and always terminated:
// S_OK when it all fitted, 0x8007007A when cut, E_INVALIDARG for a size of 0, one above
// 0x7FFFFFFF or a null buffer.
HRESULT CopyErrorText(const char* text, char* buffer, DWORD size) noexcept;

}  // namespace ombrel
