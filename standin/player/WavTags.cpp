#include "standin/player/WavTags.h"

#include <windows.h>

namespace standin {

const std::optional<std::string>* FindTagByName(const WavTags& tags, const char* name) {
    if (name == nullptr) return nullptr;
    if (lstrcmpiA(name, "TITLE") == 0) return &tags.title;
    if (lstrcmpiA(name, "ARTIST") == 0) return &tags.artist;
    if (lstrcmpiA(name, "COMMENT") == 0) return &tags.comment;
    if (lstrcmpiA(name, "ALBUM") == 0) return &tags.album;
    return nullptr;
}

}  // namespace standin
