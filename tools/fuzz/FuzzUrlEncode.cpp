// UrlEncode and UrlEncodeUtf8: the result decodes back to the input's bytes (or its UTF-8),
// and agrees with the byte rule written out here from the code page's own lead-byte ranges.
#include <windows.h>

#include <string>

#include "peercast/UrlEncode.h"
#include "tools/fuzz/CodePageText.h"
#include "tools/fuzz/Targets.h"

namespace ombrel::test::fuzz {
namespace {

const std::string kFavourites = " *-._%+~/&=?#:;,\\\"'AZaz09";

bool IsAsciiLetterOrDigit(unsigned char b) {
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

void Escape(std::string& out, unsigned char b) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[b >> 4];
    out += kHex[b & 15];
}

// A lead byte escapes itself and whatever byte follows; letters, digits and * - . _ stay; a
// space is a plus; everything else is escaped.
std::string ModelUrlEncode(const CodePage& page, const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (page.IsLead(b)) {
            Escape(out, b);
            if (i + 1 < text.size()) Escape(out, static_cast<unsigned char>(text[++i]));
        } else if (IsAsciiLetterOrDigit(b) || b == '*' || b == '-' || b == '.' || b == '_') {
            out += static_cast<char>(b);
        } else if (b == ' ') {
            out += '+';
        } else {
            Escape(out, b);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower-case hex is not what the encoder writes
}

// Undoes the encoding as a query-string parser would; false on anything an encoder must not
// write (a bare percent, lower-case hex, an unsafe character left as it is).
bool Decode(const std::string& encoded, std::string* bytes) {
    bytes->clear();
    for (size_t i = 0; i < encoded.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(encoded[i]);
        if (c == '%') {
            if (i + 2 >= encoded.size()) return false;
            const int high = HexValue(encoded[i + 1]);
            const int low = HexValue(encoded[i + 2]);
            if (high < 0 || low < 0) return false;
            *bytes += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+') {
            *bytes += ' ';
        } else if (IsAsciiLetterOrDigit(c) || c == '*' || c == '-' || c == '.' || c == '_') {
            *bytes += static_cast<char>(c);
        } else {
            return false;
        }
    }
    return true;
}

// The ANSI text as UTF-16 the way the encoder is to convert it: the whole text with its
// terminator, no flags; the terminator is not part of the result.
std::wstring WideOf(const std::string& text) {
    const int units = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
    const size_t end = wide.find(L'\0');
    if (end != std::wstring::npos) wide.resize(end);
    return wide;
}

Case Generate(Random& random) {
    const CodePage& page = ActiveCodePage();
    Case c;
    switch (random.Below(3)) {
        case 0: c.texts.push_back(RandomText(random, page, 600, kFavourites)); break;
        case 1: c.texts.push_back(RandomBytes(random, 600, kFavourites)); break;
        default: c.texts.push_back(Mutate(random, RandomText(random, page, 60, kFavourites), kFavourites)); break;
    }
    return c;
}

Verdict Check(const Case& c) {
    const CodePage& page = ActiveCodePage();
    const std::string& text = c.texts[0];
    if (!UrlEncode(nullptr).empty() || !UrlEncodeUtf8(nullptr).empty()) return Broken("null", "a null text gave text");

    const std::string encoded = UrlEncode(text.c_str());
    std::string decoded;
    if (!Decode(encoded, &decoded)) return Broken("decodable", "UrlEncode wrote " + Quote(encoded));
    if (decoded != text) return Broken("round trip", "decodes to " + Quote(decoded));
    if (encoded.size() > 3 * text.size()) return Broken("bounded", "more than three bytes per byte");
    const std::string model = ModelUrlEncode(page, text);
    if (encoded != model) return Broken("byte rule", "gave " + Quote(encoded) + ", the rule gives " + Quote(model));

    const std::wstring wide = WideOf(text);
    const std::string utf8Encoded = UrlEncodeUtf8(text.c_str());
    std::string utf8;
    if (!Decode(utf8Encoded, &utf8)) return Broken("utf8 decodable", "UrlEncodeUtf8 wrote " + Quote(utf8Encoded));
    std::wstring back;
    if (!Utf16FromUtf8(utf8, &back)) return Broken("utf8 valid", "decodes to malformed UTF-8 " + Quote(utf8));
    if (back != wide) return Broken("utf8 round trip", "decodes to other characters than the text's: " + Quote(utf8));
    const std::string utf8Model = ModelUrlEncode(page, Utf8FromUtf16(wide));
    if (utf8Encoded != utf8Model)
        return Broken("utf8 byte rule", "gave " + Quote(utf8Encoded) + ", the rule gives " + Quote(utf8Model));
    return Holds();
}

}  // namespace

Target UrlEncodeTarget() {
    Target t;
    t.name = "UrlEncode";
    t.textNames = {"text"};
    t.generate = Generate;
    t.check = Check;
    return t;
}

}  // namespace ombrel::test::fuzz
