#include "peercast/AnsiToUtf8.h"

#include <windows.h>

#include <cstring>

#include "text/CodePageChars.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {

std::string AnsiToUtf8(const char* text) {
    return win::Firewall(std::string(), [&] {
        if (!text) return std::string();
        const std::wstring wide = CodePageToWide(::GetACP(), text, std::strlen(text));
        return WideToUtf8(wide.data(), wide.size());
    });
}

}  // namespace ombrel
