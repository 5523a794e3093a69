#include "standin/player/Playlist.h"

namespace standin {

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PlaylistTitle(const std::string& path, const WavTags& tags) {
    if (tags.artist && tags.title && !tags.artist->empty() && !tags.title->empty())
        return *tags.artist + " - " + *tags.title;
    return FileNameOf(path);
}

Playlist::Playlist(const std::vector<std::string>& paths) {
    entries_.reserve(paths.size());
    for (const std::string& path : paths) {
        PlaylistEntry entry;
        entry.path = path;
        entry.read = ReadWavInfo(path);
        entry.title = PlaylistTitle(path, entry.read.info.tags);
        entries_.push_back(std::move(entry));
    }
}

const PlaylistEntry* Playlist::At(int index) const {
    if (index < 0 || index >= Size()) return nullptr;
    return &entries_[size_t(index)];
}

}  // namespace standin
