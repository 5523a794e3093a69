// Conversions the player does between its UTF-16 text and the narrow forms: the system code
// page for its ANSI answers and paths, UTF-8 for tags a file marks as such.
#pragma once

#include <string>

namespace standin {

std::wstring WideFromAnsi(const std::string& text);
// Characters the system code page cannot hold become its default character, as the player's
// ANSI answers make them.
std::string AnsiFromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace standin
