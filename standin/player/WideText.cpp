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

// Empty when the conversion is refused (any code page that takes no used-default flag).
std::string ToAnsiNoBestFit(const std::wstring& text, bool* usedDefault) {
    *usedDefault = false;
    if (text.empty()) return std::string();
    // Windows refuses the flag and the used-default pointer for UTF-8; say so here too, whatever
    // the Wine version does.
    if (::GetACP() == CP_UTF8) return std::string();
    BOOL used = FALSE;
    const int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()),
                                            nullptr, 0, nullptr, &used);
    if (bytes <= 0) return std::string();
    std::string out(size_t(bytes), '\0');
    used = FALSE;
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()), &out[0], bytes, nullptr,
                          &used);
    *usedDefault = used != FALSE;
    return out;
}

}  // namespace

std::string WinampAnsiPath(const std::wstring& path) {
    bool usedDefault = false;
    std::string ansi = ToAnsiNoBestFit(path, &usedDefault);
    if (!usedDefault) return ansi;
    wchar_t shortPath[MAX_PATH * 2];
    const DWORD units = ::GetShortPathNameW(path.c_str(), shortPath, DWORD(sizeof shortPath / sizeof *shortPath));
    if (units == 0 || units >= sizeof shortPath / sizeof *shortPath) return ansi;
    bool shortUsedDefault = false;
    std::string shortAnsi = ToAnsiNoBestFit(shortPath, &shortUsedDefault);
    return shortUsedDefault || shortAnsi.empty() ? ansi : shortAnsi;
}

std::wstring WideFromAnsi(const std::string& text) { return ToWide(CP_ACP, text); }
std::string AnsiFromWide(const std::wstring& text) { return ToNarrow(CP_ACP, text); }
std::wstring WideFromUtf8(const std::string& text) { return ToWide(CP_UTF8, text); }
std::string Utf8FromWide(const std::wstring& text) { return ToNarrow(CP_UTF8, text); }

}  // namespace standin
