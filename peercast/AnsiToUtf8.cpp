#include "peercast/AnsiToUtf8.h"

#include <windows.h>

#include <cstring>

#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// The UTF-16 of one character of length bytes at p, or 0 when it is not one of the code page.
int ConvertOne(const char* p, int length, wchar_t (&out)[2]) {
    return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, p, length, out, 2);
}

}  // namespace

std::string AnsiToUtf8(const char* text) {
    return win::Firewall(std::string(), [&] {
        if (!text) return std::string();
        const size_t length = std::strlen(text);
        std::wstring wide;
        wide.reserve(length);
        size_t at = 0;
        while (at < length) {
            wchar_t one[2];
            int got = 0;
            if (::IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(text[at])) && at + 1 < length) {
                got = ConvertOne(text + at, 2, one);
                if (got > 0) {
                    wide.append(one, static_cast<size_t>(got));
                    at += 2;
                    continue;
                }
            } else if (!::IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(text[at]))) {
                got = ConvertOne(text + at, 1, one);
                if (got > 0) {
                    wide.append(one, static_cast<size_t>(got));
                    at += 1;
                    continue;
                }
            }
            // The byte after a failed lead byte may start a character of its own.
            wide += kReplacement;
            at += 1;
        }
        if (wide.empty()) return std::string();
        const int wideLength = static_cast<int>(wide.size());
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return std::string();
        std::string utf8(static_cast<size_t>(bytes), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], bytes, nullptr, nullptr);
        return utf8;
    });
}

}  // namespace ombrel
