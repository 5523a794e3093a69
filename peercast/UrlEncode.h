// Query-string values for the PeerCast admin request.
#pragma once

#include <string>

namespace ombrel {

// Percent-encodes text byte by byte: ASCII letters, digits and * - . _ stay, a space becomes
// "+", everything else "%XX" (upper-case hex). A lead byte of the ANSI code page takes the
// byte after it into an escape too. A null text gives the empty string.
std::string UrlEncode(const char* text);

// The ANSI-code-page text converted to UTF-8, then UrlEncode of those bytes (the lead-byte
// test still follows the ANSI code page). A failed conversion gives the empty string.
std::string UrlEncodeUtf8(const char* text);

}  // namespace ombrel
