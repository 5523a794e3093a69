// Tag templates: "%ARTIST%", "%TITLE%", "%COMMENT%", "%ALBUM%" and "%LENGTH%" stand for a
// song's fields; everything else is copied. The template is never used as a printf format.
#pragma once

#include <string>

#include "plugin/SongInfo.h"

namespace ombrel {

// "%d:%02d" of the length's minutes and remaining seconds (truncating): 245 is 4:05,
// -1 is 0:-1.
std::string FormatLength(INT32 seconds);

// Replaces the five tags in the order above, each over the whole text left to right by
// characters of the ANSI code page (no tag is found inside a double-byte character), never
// searching a value it has just inserted. Values inserted for one tag are searched for the
// tags that come after it.
std::string FormatSongInfo(const std::string& format, const SongInfo& info);

}  // namespace ombrel
