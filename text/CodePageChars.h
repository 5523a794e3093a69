// Whole characters of a narrow code page, for every walk that cuts, matches or converts the
// player's and the settings' text byte by byte: the single-byte pages, the double-byte pages
// (932 and the other East Asian ones) and UTF-8 (65001), which Windows 10 and later can make the
// system code page. There IsDBCSLeadByteEx is false for every byte, so a walk that only asks it
// would split each multi-byte character.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace ombrel {

// Bytes of the whole character of codePage that starts at text[at] (at < length): 1 to 4. A byte
// that starts no whole character there (a lone lead byte, a cut or ill-formed UTF-8 sequence, a
// byte the page does not map) counts as 1, so the walk goes on with the byte after it.
size_t CharBytesAt(UINT codePage, const char* text, size_t length, size_t at);

// Bytes that the byte at text[at] claims as its character, valid or not (a lead byte takes the
// bytes after it, up to the end of the text): for escapes whose reverse must take back exactly
// what they wrote, whatever the bytes.
size_t ClaimedBytesAt(UINT codePage, const char* text, size_t length, size_t at);

// Length of the longest start of text that holds at most limit bytes and ends after a whole
// character (an ill-formed byte counts as one).
size_t WholeCharPrefix(UINT codePage, const char* text, size_t length, size_t limit);

// Text of codePage as UTF-16, character by character: a byte that starts no character becomes
// U+FFFD and the conversion goes on after it.
std::wstring CodePageToWide(UINT codePage, const char* text, size_t length);

// Text of codePage as UTF-16 as the system converts it (MultiByteToWideChar without flags): what
// the plug-in always made of the player's text, invalid bytes included.
std::wstring SystemCodePageToWide(UINT codePage, const char* text, size_t length);

// UTF-16 as text of codePage, as the system converts it: characters the page cannot hold become
// its default character. Embedded zeros are kept.
std::string WideToCodePage(UINT codePage, const wchar_t* text, size_t length);

// Well-formed UTF-8 of UTF-16: an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const wchar_t* text, size_t length);

// Bytes that text[at] (one UTF-16 character, two units for a surrogate pair) takes as text of
// codePage, and how many units it has.
size_t WideCharUnitsAt(const wchar_t* text, size_t length, size_t at);
size_t CodePageBytesOf(UINT codePage, const wchar_t* character, size_t units);

// Length in units of the longest start of the UTF-16 text whose characters take at most limit
// bytes as text of codePage; a surrogate pair is never split.
size_t WideCharPrefix(UINT codePage, const wchar_t* text, size_t length, size_t limit);

}  // namespace ombrel
