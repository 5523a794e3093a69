#include "standin/player/WideText.h"

#include <windows.h>

namespace standin {
namespace {

std::wstring ToWide(UINT codePage, const std::string& text) {
    if (text.empty()) return std::wstring();
    const int units = ::MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring out(size_t(units), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &out[0], units);
    return out;
}

std::string ToNarrow(UINT codePage, const std::wstring& text) {
    if (text.empty()) return std::string();
    const int bytes = ::WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(size_t(bytes), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring WideFromAnsi(const std::string& text) { return ToWide(CP_ACP, text); }
std::string AnsiFromWide(const std::wstring& text) { return ToNarrow(CP_ACP, text); }
std::wstring WideFromUtf8(const std::string& text) { return ToWide(CP_UTF8, text); }
std::string Utf8FromWide(const std::wstring& text) { return ToNarrow(CP_UTF8, text); }

}  // namespace standin
