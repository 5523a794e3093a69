// The four INFO tags the player's file-info reader knows, as raw ANSI bytes.
#pragma once

#include <optional>
#include <string>

namespace standin {

struct WavTags {
    std::optional<std::string> title;    // INAM
    std::optional<std::string> artist;   // IART
    std::optional<std::string> comment;  // ICMT
    std::optional<std::string> album;    // IPRD
    // The values are UTF-8 rather than ANSI, marked in the file by an IENC entry "UTF-8": the
    // player reads them as Unicode and answers ANSI requests with what the code page makes of them.
    bool utf8 = false;
};

// A tag's value as the player holds it, UTF-16, and as its ANSI answers give it.
std::wstring WideTagValue(const WavTags& tags, const std::string& value);
std::string AnsiTagValue(const WavTags& tags, const std::string& value);

// The tag a request 290 names ("TITLE", "ARTIST", "COMMENT", "ALBUM", any case);
// null for a name the player does not know.
const std::optional<std::string>* FindTagByName(const WavTags& tags, const char* name);
const std::optional<std::string>* FindTagByName(const WavTags& tags, const wchar_t* name);

}  // namespace standin
