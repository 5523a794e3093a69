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
};

// The tag a request 290 names ("TITLE", "ARTIST", "COMMENT", "ALBUM", any case);
// null for a name the player does not know.
const std::optional<std::string>* FindTagByName(const WavTags& tags, const char* name);

}  // namespace standin
