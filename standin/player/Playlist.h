// The player's playlist: paths, their display titles (stable storage for request 212),
// and what could be read of each file when the list was made.
#pragma once

#include <string>
#include <vector>

#include "standin/player/WavReader.h"
#include "standin/player/WavTags.h"

namespace standin {

struct PlaylistEntry {
    std::string path;       // ANSI: announced by 3003, what the ANSI requests name
    std::wstring widePath;  // announced by 13003 (5.3 and later); the file is opened by it
    std::string title;      // "artist - title", else the file name
    std::wstring wideTitle;
    WavReadResult read;
};

// The name after the last '\' or '/'.
std::string FileNameOf(const std::string& path);

// "artist - title" when both tags exist and are not empty, else the file name.
std::string PlaylistTitle(const std::string& path, const WavTags& tags);
std::wstring PlaylistTitleW(const std::wstring& path, const WavTags& tags);

class Playlist {
public:
    Playlist() = default;
    // ANSI paths first, then paths that may hold characters outside the system code page.
    explicit Playlist(const std::vector<std::string>& paths, const std::vector<std::wstring>& widePaths = {});

    int Size() const { return int(entries_.size()); }
    // Null when index is out of range.
    const PlaylistEntry* At(int index) const;


private:
    std::vector<PlaylistEntry> entries_;
};

}  // namespace standin
