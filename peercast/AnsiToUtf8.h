// Text of the system code page as UTF-8, the only text the nodes' JSON-RPC interface takes.
#pragma once

#include <string>

namespace ombrel {

// Converts by whole characters of the system code page (CP_ACP, as the player's text is; UTF-8
// included): a byte that starts no character of the code page, or a lead byte whose trail does
// not make one, becomes U+FFFD and the conversion goes on after it. The result is always
// well-formed UTF-8; a null text gives the empty string.
std::string AnsiToUtf8(const char* text);

}  // namespace ombrel
