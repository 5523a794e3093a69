// Tag templates: "%ARTIST%", "%TITLE%", "%COMMENT%", "%ALBUM%" and "%LENGTH%" stand for a
// song's fields; everything else is copied. The template is never used as a printf format.
#pragma once

#include <cstddef>
#include <string>

#include "plugin/SongInfo.h"

namespace ombrel {

// No formatted text grows past this many bytes. Values may hold later tags, so each step can
// multiply the text: a few dozen tags in each of four 1023-byte tags from a media file would
// otherwise make gigabytes and hold the song worker for hours. Ordinary templates stay far
// below it.
constexpr size_t kMaxFormattedText = 64 * 1024;

// "%d:%02d" of the length's minutes and remaining seconds (truncating): 245 is 4:05,
// -1 is 0:-1.
std::string FormatLength(INT32 seconds);

// Replaces the five tags in the order above, each over the whole text left to right by
// characters of the system ANSI code page (no tag is found inside a double-byte character), never
// searching a value it has just inserted. Values inserted for one tag are searched for the
// tags that come after it. A step whose text would pass kMaxFormattedText ends there, cut at
// a character boundary; what comes out is then always the start of the text the template would
// give without the bound.
std::string FormatSongInfo(const std::string& format, const SongInfo& info);

// The same over the player's UTF-16 tags when info has them, the template taken as the system
// converts it; the bound counts the bytes each character takes in the system code page, so a
// title the code page can hold gives exactly the UTF-16 of FormatSongInfo's text. Without
// UTF-16 tags, FormatSongInfo's text as the system converts it.
std::wstring FormatSongInfoW(const std::string& format, const SongInfo& info);

}  // namespace ombrel
