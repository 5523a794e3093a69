// Conversions the player does between its UTF-16 text and the narrow forms: the system code
// page for its ANSI answers and paths, UTF-8 for tags a file marks as such.
#pragma once

#include <string>

namespace standin {

std::wstring WideFromAnsi(const std::string& text);
// Characters the system code page cannot hold become its default character, as the player's
// ANSI answers make them.
std::string AnsiFromWide(const std::wstring& text);
// A path as the real player hands it out in its ANSI messages (the playing file's announcement,
// the settings folder): converted with WC_NO_BEST_FIT_CHARS and the used-default flag, which
// code page 65001 refuses, so there the text is empty; where a character is outside the code page
// the player gives the 8.3 form when the volume has one, the "?" form otherwise.
std::string WinampAnsiPath(const std::wstring& path);
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace standin
