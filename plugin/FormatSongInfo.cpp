#include "plugin/FormatSongInfo.h"

#include <windows.h>

#include <cstdio>

#include "plugin/TextEscape.h"

namespace ombrel {
namespace {

// Two for a lead byte with a valid trail byte, else one: a lone lead byte (a tag value cut in
// the middle of a character) must not swallow the percent sign of a tag behind it.
size_t CharBytes(UINT codePage, const std::string& text, size_t at) {
    if (at + 1 >= text.size() || !::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[at]))) return 1;
    WCHAR wide[2];
    return ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data() + at, 2, wide, 2) == 1 ? 2 : 1;
}

void ReplaceAll(UINT codePage, std::string& text, const char* tag, const std::string& value) {
    const std::string key(tag);
    for (size_t at = 0; at < text.size();) {
        if (text.compare(at, key.size(), key) == 0) {
            text.replace(at, key.size(), value);
            at += value.size();
            continue;
        }
        at += CharBytes(codePage, text, at);
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
