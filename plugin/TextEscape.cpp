#include "plugin/TextEscape.h"

#include "text/CodePageChars.h"

namespace ombrel {
namespace {

// A lead byte takes the bytes it claims even when they make no character, so unescaping takes
// back exactly the characters that escaping wrote, for any bytes.
size_t CharBytes(UINT codePage, const std::string& text, size_t index) {
    return ClaimedBytesAt(codePage, text.data(), text.size(), index);
}

}  // namespace

UINT ThreadAnsiCodePage() {
    DWORD codePage = 0;
    const int got = GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                                   reinterpret_cast<LPSTR>(&codePage), sizeof codePage / sizeof(char));
    // Locales without an ANSI code page of their own use the system's.
    return got != 0 && codePage != CP_ACP ? codePage : GetACP();
}

std::string EscapeText(const std::string& ansi) {
    // No trail byte is a control character, so one pass gives what replacing backslashes first
    // and then each control character over the whole text gives.
    const UINT codePage = ThreadAnsiCodePage();
    std::string out;
    out.reserve(ansi.size());
    for (size_t i = 0; i < ansi.size();) {
        const size_t bytes = CharBytes(codePage, ansi, i);
        if (bytes == 1) {
            switch (ansi[i]) {
                case '\\': out += "\\\\"; break;
                case '\n': out += "\\n"; break;
                case '\t': out += "\\t"; break;
                case '\r': out += "\\r"; break;
                default: out += ansi[i]; break;
            }
        } else {
            out.append(ansi, i, bytes);
        }
        i += bytes;
    }
    return out;
}

std::string UnescapeText(const std::string& ansi) {
    const UINT codePage = ThreadAnsiCodePage();
    std::string out;
    out.reserve(ansi.size());
    bool escaped = false;
    for (size_t i = 0; i < ansi.size();) {
        const size_t bytes = CharBytes(codePage, ansi, i);
        if (escaped) {
            escaped = false;
            if (bytes == 1) {
                switch (ansi[i]) {
                    case 'n': out += '\n'; break;
                    case 'r': out += '\r'; break;
                    case 't': out += '\t'; break;
                    default: out += ansi[i]; break;
                }
            } else {
                out.append(ansi, i, bytes);
            }
        } else if (bytes == 1 && ansi[i] == '\\') {
            escaped = true;
        } else {
            out.append(ansi, i, bytes);
        }
        i += bytes;
    }
    return out;
}

}  // namespace ombrel
