// The escapes that keep a multi-line description on one line of the settings file.
//
// Both walk the text by characters of the thread's ANSI code page (UTF-8 included), so the
// second byte of a double-byte character (0x5C in many cp932 characters) is never taken for a
// backslash.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

// Backslash, line feed, tab and carriage return become "\\", "\n", "\t" and "\r".
std::string EscapeText(const std::string& ansi);

// "\\", "\n", "\r", "\t" give the character; a backslash before anything else is dropped and
// that character kept; a backslash at the very end is dropped.
std::string UnescapeText(const std::string& ansi);

// The code page that CP_THREAD_ACP stands for.
UINT ThreadAnsiCodePage();

}  // namespace ombrel
