#include "tools/fuzz/CodePageText.h"

#include <cstdio>

#include "plugin/TextEscape.h"

namespace ombrel::test::fuzz {
namespace {

CodePage g_active;

char RandomNonZeroByte(Random& random) { return static_cast<char>(random.Between(1, 255)); }

}  // namespace

bool DetectCodePage(CodePage* page) {
    page->id = ::GetACP();
    CPINFO info{};
    if (!::GetCPInfo(page->id, &info)) return false;
    page->doubleByte = info.MaxCharSize > 1;
    return !page->doubleByte || page->id == 932;
}

const CodePage& ActiveCodePage() { return g_active; }
void SetActiveCodePage(const CodePage& page) { g_active = page; }

bool ThreadUsesActiveCodePage(const char* target) {
    if (ThreadAnsiCodePage() == g_active.id) return true;
    std::printf("%s: the thread's code page %u is not the process's %u\n", target, ThreadAnsiCodePage(),
                g_active.id);
    return false;
}

bool IsAssigned(UINT codePage, const std::string& character) {
    WCHAR wide[4];
    return ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, character.data(), static_cast<int>(character.size()),
                                 wide, 4) == 1;
}

bool SplitCharacters(const CodePage& page, const std::string& text, std::vector<std::string>* characters) {
    characters->clear();
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (!page.IsLead(b)) {
            characters->push_back(text.substr(i, 1));
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || !page.IsTrail(static_cast<unsigned char>(text[i + 1]))) return false;
        const std::string pair = text.substr(i, 2);
        if (!IsAssigned(page.id, pair)) return false;
        characters->push_back(pair);
        i += 2;
    }
    return true;
}

std::string RandomCharacter(Random& random, const CodePage& page, const std::string& favourites) {
    if (!favourites.empty() && random.OneIn(2)) return std::string(1, favourites[random.Below(favourites.size())]);
    if (!page.doubleByte) {
        // Any byte but NUL: every single-byte page maps (or passes through) all of them.
        return std::string(1, RandomNonZeroByte(random));
    }
    const uint32_t kind = random.Below(10);
    if (kind < 4) {
        // A double-byte character; a third of them end in 0x5C (the backslash byte) or an
        // ASCII letter, the trails that text walking byte by byte gets wrong.
        for (int attempt = 0; attempt < 16; ++attempt) {
            std::string pair(2, '\0');
            pair[0] = static_cast<char>(random.OneIn(4) ? random.Between(0xE0, 0xFC) : random.Between(0x81, 0x9F));
            switch (random.Below(6)) {
                case 0: pair[1] = '\x5C'; break;
                case 1: pair[1] = static_cast<char>(random.Between('A', 'Z')); break;
                case 2: pair[1] = static_cast<char>(random.Between(0x40, 0x7E)); break;
                default: pair[1] = static_cast<char>(random.Between(0x80, 0xFC)); break;
            }
            if (IsAssigned(page.id, pair)) return pair;
        }
        return "\x82\xA0";  // hiragana a
    }
    if (kind < 5) return std::string(1, static_cast<char>(random.Between(0xA1, 0xDF)));  // half-width kana
    if (kind < 6) return std::string(1, static_cast<char>(random.Between(1, 0x1F)));      // controls
    return std::string(1, static_cast<char>(random.Between(0x20, 0x7E)));
}

std::string RandomText(Random& random, const CodePage& page, size_t maxCharacters, const std::string& favourites) {
    std::string text;
    for (size_t n = random.Length(maxCharacters); n > 0; --n) text += RandomCharacter(random, page, favourites);
    return text;
}

std::string RandomBytes(Random& random, size_t maxLength, const std::string& favourites) {
    std::string text;
    for (size_t n = random.Length(maxLength); n > 0; --n) {
        const uint32_t kind = random.Below(10);
        if (kind < 4 && !favourites.empty()) {
            text += favourites[random.Below(favourites.size())];
        } else if (kind < 6) {
            text += static_cast<char>(random.OneIn(3) ? random.Between(0xE0, 0xFC) : random.Between(0x81, 0x9F));
        } else {
            text += RandomNonZeroByte(random);
        }
    }
    return text;
}

std::string Mutate(Random& random, std::string text, const std::string& favourites) {
    for (int edits = random.Between(1, 4); edits > 0; --edits) {
        const char byte = !favourites.empty() && random.OneIn(2) ? favourites[random.Below(favourites.size())]
                                                                 : RandomNonZeroByte(random);
        const size_t at = text.empty() ? 0 : random.Below(static_cast<uint32_t>(text.size()));
        switch (random.Below(3)) {
            case 0: text.insert(at, 1, byte); break;
            case 1: if (!text.empty()) text.erase(at, 1); break;
            default: if (!text.empty()) text[at] = byte; break;
        }
    }
    return text;
}

std::string Utf8FromUtf16(const std::wstring& wide) {
    std::string out;
    for (size_t i = 0; i < wide.size(); ++i) {
        unsigned long c = static_cast<unsigned short>(wide[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) {
            const unsigned long low = static_cast<unsigned short>(wide[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // a lone surrogate, as the platform writes it
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool Utf16FromUtf8(const std::string& utf8, std::wstring* wide) {
    wide->clear();
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        size_t extra;
        unsigned long c;
        unsigned long minimum;
        if (b < 0x80) { c = b; extra = 0; minimum = 0; }
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; minimum = 0x80; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; minimum = 0x800; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; minimum = 0x10000; }
        else return false;
        if (i + extra >= utf8.size()) return false;  // cut short
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char t = static_cast<unsigned char>(utf8[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            c = (c << 6) | (t & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            *wide += static_cast<wchar_t>(0xD800 + (c >> 10));
            *wide += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            *wide += static_cast<wchar_t>(c);
        }
        i += 1 + extra;
    }
    return true;
}

}  // namespace ombrel::test::fuzz
