// What the fuzzer's models know of the ANSI code page, taken from the code pages' own tables
// rather than from the code under test, and random text of that code page.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/fuzz/Random.h"

namespace ombrel::test::fuzz {

// Code page 932 (Shift_JIS) or a single-byte code page such as 1252.
struct CodePage {
    UINT id = 0;
    bool doubleByte = false;

    bool IsLead(unsigned char b) const { return doubleByte && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)); }
    bool IsTrail(unsigned char b) const { return doubleByte && ((b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC)); }
};

// The process's ANSI code page. False for a double-byte page other than 932, which the models
// do not know.
bool DetectCodePage(CodePage* page);

// The code page the run found (set once by main before any target runs).
const CodePage& ActiveCodePage();
void SetActiveCodePage(const CodePage& page);

// The plug-in's text code walks characters by the thread's code page, the models by the
// process's: true when they are one; else says so for the named target and gives false.
bool ThreadUsesActiveCodePage(const char* target);

// True when the bytes are one character the code page assigns (one UTF-16 unit, no error).
bool IsAssigned(UINT codePage, const std::string& character);

// The text as characters: a lead byte with an assigned trail is one, every other byte one of
// its own. False when a lead byte has no such trail (a cut or invented character).
bool SplitCharacters(const CodePage& page, const std::string& text, std::vector<std::string>* characters);

// One random character of the code page; favourites (ASCII) are picked half the time.
std::string RandomCharacter(Random& random, const CodePage& page, const std::string& favourites);

// Up to maxCharacters random characters, every one assigned, so the text is valid.
std::string RandomText(Random& random, const CodePage& page, size_t maxCharacters, const std::string& favourites);

// Up to maxLength random bytes without NUL: favourites, lead bytes and anything else, so cut
// and invalid characters occur too.
std::string RandomBytes(Random& random, size_t maxLength, const std::string& favourites);

// A few random insertions, deletions and replacements of single bytes (never NUL).
std::string Mutate(Random& random, std::string text, const std::string& favourites);

// UTF-16 to UTF-8, written out here so the check does not lean on the platform's converter.
std::string Utf8FromUtf16(const std::wstring& wide);
// UTF-8 to UTF-16; false on any malformed or overlong sequence.
bool Utf16FromUtf8(const std::string& utf8, std::wstring* wide);

}  // namespace ombrel::test::fuzz
