#include "standin/player/Playlist.h"

#include <windows.h>

#include "standin/player/WideText.h"

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

std::wstring PlaylistTitleW(const std::wstring& path, const WavTags& tags) {
    if (tags.artist && tags.title && !tags.artist->empty() && !tags.title->empty())
        return WideTagValue(tags, *tags.artist) + L" - " + WideTagValue(tags, *tags.title);
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

Playlist::Playlist(const std::vector<std::string>& paths, const std::vector<std::wstring>& widePaths) {
    entries_.reserve(paths.size() + widePaths.size());
    for (const std::string& path : paths) {
        PlaylistEntry entry;
        entry.path = path;
        entry.widePath = WideFromAnsi(path);
        entry.read = ReadWavInfo(entry.widePath);
        entry.wideTitle = PlaylistTitleW(entry.widePath, entry.read.info.tags);
        const WavTags& tags = entry.read.info.tags;
        entry.title = tags.utf8 ? AnsiFromWide(entry.wideTitle) : PlaylistTitle(path, tags);
        entries_.push_back(std::move(entry));
    }
    for (const std::wstring& widePath : widePaths) {
        PlaylistEntry entry;
        entry.widePath = widePath;
        entry.path = AnsiFromWide(widePath);
        entry.read = ReadWavInfo(widePath);
        entry.wideTitle = PlaylistTitleW(widePath, entry.read.info.tags);
        entry.title = AnsiFromWide(entry.wideTitle);
        entries_.push_back(std::move(entry));
    }
}

const PlaylistEntry* Playlist::At(int index) const {
    if (index < 0 || index >= Size()) return nullptr;
    return &entries_[size_t(index)];
}

}  // namespace standin
