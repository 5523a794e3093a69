#include "plugin/FormatSongInfo.h"

#include <windows.h>

#include <cstdio>

#include "plugin/TextEscape.h"

namespace ombrel {
namespace {

void ReplaceAll(UINT codePage, std::string& text, const char* tag, const std::string& value) {
    const std::string key(tag);
    for (size_t at = 0; at < text.size();) {
        if (text.compare(at, key.size(), key) == 0) {
            text.replace(at, key.size(), value);
            at += value.size();
            continue;
        }
        const bool doubleByte =
            at + 1 < text.size() && ::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[at]));
        at += doubleByte ? 2 : 1;
    }
}

}  // namespace

std::string FormatLength(INT32 seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    return text;
}

std::string FormatSongInfo(const std::string& format, const SongInfo& info) {
    const UINT codePage = ThreadAnsiCodePage();
    std::string text = format;
    ReplaceAll(codePage, text, "%ARTIST%", info.artist);
    ReplaceAll(codePage, text, "%TITLE%", info.title);
    ReplaceAll(codePage, text, "%COMMENT%", info.comment);
    ReplaceAll(codePage, text, "%ALBUM%", info.album);
    ReplaceAll(codePage, text, "%LENGTH%", FormatLength(info.length));
    return text;
}

}  // namespace ombrel
