#include "plugin/SongInfo.h"

#include <cstring>

#include "plugin/PlayerRequests.h"

namespace ombrel {

HRESULT ReadTag(HWND player, const char* path, const char* tagName, std::string* text) {
    char buffer[kTagAnswerSize] = {};
    TagRequestRecord record{path, tagName, buffer, kTagAnswerSize};
    const LRESULT answer =
        ::SendMessageA(player, kPlayerMessage, reinterpret_cast<WPARAM>(&record), kRequestTag);
    if (answer != 1) {
        text->clear();
        return E_FAIL;
    }
    // A player that fills the whole buffer leaves no terminator: stop at its end.
    text->assign(buffer, strnlen(buffer, sizeof buffer));
    return S_OK;
}

HRESULT ReadSongInfo(HWND player, const char* path, SongInfo* info) {
    BasicInfoRecord record{path, 0, 0, nullptr, 0};
    ::SendMessageA(player, kPlayerMessage, reinterpret_cast<WPARAM>(&record), kRequestBasicInfo);
    info->length = record.length;

    const struct {
        const char* name;
        std::string SongInfo::*field;
    } tags[] = {
        {"TITLE", &SongInfo::title},
        {"ARTIST", &SongInfo::artist},
        {"COMMENT", &SongInfo::comment},
        {"ALBUM", &SongInfo::album},
    };
    for (const auto& tag : tags) {
        HRESULT hr = ReadTag(player, path, tag.name, &(info->*tag.field));
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace ombrel
