#include "peercast/UrlEncode.h"

#include <windows.h>

#include <vector>

#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

void AppendEscape(std::string& out, unsigned char byte) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

bool IsAsciiAlnum(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9');
}

}  // namespace

std::string UrlEncode(const char* text) {
    return win::Firewall(std::string(), [&] {
        std::string out;
        if (!text) return out;
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
            const unsigned char byte = *p;
            if (::IsDBCSLeadByte(byte)) {
                AppendEscape(out, byte);
                if (p[1] == '\0') break;
                AppendEscape(out, *++p);
            } else if (IsAsciiAlnum(byte)) {
                out += static_cast<char>(byte);
            } else if (byte == ' ') {
                out += '+';
            } else if (byte == '*' || byte == '-' || byte == '.' || byte == '_') {
                out += static_cast<char>(byte);
            } else {
                AppendEscape(out, byte);
            }
        }
        return out;
    });
}

std::string UrlEncodeUtf8(const char* text) {
    return win::Firewall(std::string(), [&] {
        if (!text) return std::string();
        const int wideLength = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        if (wideLength <= 0) return std::string();
        std::vector<wchar_t> wide(static_cast<size_t>(wideLength) + 1, L'\0');
        if (::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), wideLength) == 0) return std::string();

        const int utf8Length =
            ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
        if (utf8Length <= 0) return std::string();
        std::vector<char> utf8(static_cast<size_t>(utf8Length) + 1, '\0');
        if (::WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, utf8.data(), utf8Length, nullptr, nullptr) == 0)
            return std::string();
        return UrlEncode(utf8.data());
    });
}

}  // namespace ombrel
