#include "standin/player/WavTags.h"

#include <windows.h>

#include "standin/player/WideText.h"

namespace standin {

const std::optional<std::string>* FindTagByName(const WavTags& tags, const char* name) {
    if (name == nullptr) return nullptr;
    if (lstrcmpiA(name, "TITLE") == 0) return &tags.title;
    if (lstrcmpiA(name, "ARTIST") == 0) return &tags.artist;
    if (lstrcmpiA(name, "COMMENT") == 0) return &tags.comment;
    if (lstrcmpiA(name, "ALBUM") == 0) return &tags.album;
    return nullptr;
}

const std::optional<std::string>* FindTagByName(const WavTags& tags, const wchar_t* name) {
    if (name == nullptr) return nullptr;
    if (lstrcmpiW(name, L"TITLE") == 0) return &tags.title;
    if (lstrcmpiW(name, L"ARTIST") == 0) return &tags.artist;
    if (lstrcmpiW(name, L"COMMENT") == 0) return &tags.comment;
    if (lstrcmpiW(name, L"ALBUM") == 0) return &tags.album;
    return nullptr;
}

std::wstring WideTagValue(const WavTags& tags, const std::string& value) {
    return tags.utf8 ? WideFromUtf8(value) : WideFromAnsi(value);
}

std::string AnsiTagValue(const WavTags& tags, const std::string& value) {
    return tags.utf8 ? AnsiFromWide(WideFromUtf8(value)) : value;
}

}  // namespace standin
