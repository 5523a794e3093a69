// Whole characters of the code pages the plug-in meets as the system's: double-byte 932, single-
// byte 1252 and UTF-8 (65001). The code page is a parameter, so every case runs whatever the
// system's own is.
#include <gtest/gtest.h>

#include <string>

#include "text/CodePageChars.h"

namespace ombrel::test {
namespace {

struct CutCase {
    UINT codePage;
    const char* text;
    size_t limit;
    size_t expected;  // bytes kept
    const char* why;
};

const CutCase kCuts[] = {
    {932, "\x83\x41" "A", 1, 0, "a cut inside a double-byte character keeps none of it"},
    {932, "\x83\x41" "A", 2, 2, "the trail byte 0x41 is not the letter A"},
    {932, "A\x83\n", 2, 2, "a lead byte whose trail makes no character counts as one byte"},
    {1252, "Caf\xE9!", 4, 4, "every byte is a character"},
    {65001, "\xE6\x97\xA5\xE6\x9C\xAC", 5, 3, "a three-byte character is kept or dropped whole"},
    {65001, "a\xF0\x9F\x8E\xB5", 4, 1, "a four-byte character too"},
    {65001, "a\xF0\x9F\x8E\xB5", 5, 5, ""},
    {65001, "\xE6\x97" "ab", 3, 3, "a cut-off sequence counts byte by byte"},
    {65001, "\xC0\xAF" "ab", 1, 1, "an overlong form is no character"},
};

TEST(CodePageChars, CutsKeepWholeCharacters) {
    for (const CutCase& c : kCuts) {
        const std::string text(c.text);
        EXPECT_EQ(c.expected, WholeCharPrefix(c.codePage, text.data(), text.size(), c.limit))
            << "code page " << c.codePage << ": " << c.why;
    }
}

TEST(CodePageChars, ConvertsWholeCharactersAndReplacesTheRest) {
    const struct {
        UINT codePage;
        const char* text;
        const wchar_t* expected;
    } cases[] = {
        {932, "\x93\xFA\x96\x7B" "A", L"\u65E5\u672C" L"A"},
        {932, "\x83" "A\x83", L"\u30A2\xFFFD"},
        {1252, "Caf\xE9 \x80", L"Caf\u00E9 \u20AC"},
        {65001, "\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x8E\xB5", L"\u65E5\u672C\U0001F3B5"},
        {65001, "\xE6\x97" "A\xFF", L"\xFFFD\xFFFD" L"A\xFFFD"},
    };
    for (const auto& c : cases) {
        const std::string text(c.text);
        EXPECT_EQ(std::wstring(c.expected), CodePageToWide(c.codePage, text.data(), text.size()))
            << "code page " << c.codePage;
    }
}

// Escapes take back exactly what they wrote, so a lead byte claims its bytes, valid or not.
TEST(CodePageChars, ALeadByteClaimsItsBytesUpToTheEnd) {
    const std::string text = "\xE6\n";
    EXPECT_EQ(2u, ClaimedBytesAt(65001, text.data(), text.size(), 0));
    EXPECT_EQ(1u, CharBytesAt(65001, text.data(), text.size(), 0));
    const std::string cp932 = "\x83\n";
    EXPECT_EQ(2u, ClaimedBytesAt(932, cp932.data(), cp932.size(), 0));
    EXPECT_EQ(1u, ClaimedBytesAt(1252, cp932.data(), cp932.size(), 0));
}

TEST(CodePageChars, WideTextIsMeasuredAndCutInTheCodePage) {
    const std::wstring text = L"a\u65E5\U0001F3B5\xD800z";
    EXPECT_EQ("a\xE6\x97\xA5\xF0\x9F\x8E\xB5\xEF\xBF\xBDz", WideToUtf8(text.data(), text.size()))
        << "an unpaired surrogate becomes U+FFFD";
    EXPECT_EQ(4u, WideCharPrefix(65001, text.data(), text.size(), 8));
    EXPECT_EQ(2u, WideCharPrefix(65001, text.data(), text.size(), 7)) << "the pair is never split";
    EXPECT_EQ(2u, WideCharPrefix(932, text.data(), text.size(), 3)) << "U+65E5 is two bytes of 932";
}

}  // namespace
}  // namespace ombrel::test
