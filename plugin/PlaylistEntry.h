// The player's current playlist entry as its playlist shows it: what the song worker polls, the
// play log writes, and what a caption falls back to where the player gives no tags.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

struct PlaylistEntry {
    LRESULT position = 0;
    std::string path;       // request 211, as the player gave it; empty where it gives none
    std::wstring title;     // every character the player gave
    std::string titleAnsi;  // what the system code page makes of it
    bool Empty() const { return path.empty() && title.empty(); }
    bool operator==(const PlaylistEntry& other) const {
        return position == other.position && path == other.path && title == other.title;
    }
    bool operator!=(const PlaylistEntry& other) const { return !(*this == other); }
};

// Request 125, then 211 and 212 (213 on a 5.3 or later player) for that position. Each pointer
// answer is checked and copied at once (a player may hand out one buffer that its next answer
// overwrites). A 212 answer from a host that is not the real player (no version answer) that is
// valid UTF-8 with bytes above 0x7F is read as UTF-8; any other as the system code page. False
// when the player gave neither a path nor a title.
bool ReadPlaylistEntry(HWND player, PlaylistEntry* entry);

// UTF-8 by its own rules (no overlong forms, no surrogates) with at least one byte above 0x7F.
bool LooksLikeUtf8(const std::string& bytes);

}  // namespace ombrel
