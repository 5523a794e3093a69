#include "encoder/ErrorText.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ombrel {

void FormatErrorText(char (&text)[kErrorTextSize], const char* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(text, kErrorTextSize, format, args);
    va_end(args);
    if (written < 0) text[0] = '\0';
    text[kErrorTextSize - 1] = '\0';
}

HRESULT CopyErrorText(const char* text, char* buffer, DWORD size) noexcept {
    if (!buffer || size == 0 || size > 0x7FFFFFFFu) return E_INVALIDARG;
    size_t length = std::strlen(text);
    size_t copied = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, text, copied);
    buffer[copied] = '\0';
    return copied == length ? S_OK : kInsufficientBuffer;
}

}  // namespace ombrel
