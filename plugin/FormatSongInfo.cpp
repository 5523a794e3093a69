#include "plugin/FormatSongInfo.h"

#include <windows.h>

#include <cstdio>


namespace ombrel {
namespace {

// Two for a lead byte with a valid trail byte, else one: a lone lead byte (a tag value cut in
// the middle of a character) must not swallow the percent sign of a tag behind it.
size_t CharBytes(UINT codePage, const std::string& text, size_t at) {
    if (at + 1 >= text.size() || !::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[at]))) return 1;
    WCHAR wide[2];
    return ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data() + at, 2, wide, 2) == 1 ? 2 : 1;
}

// The longest start of text that ends on a character boundary and holds at most limit bytes.
void CutAtCharacter(UINT codePage, std::string& text, size_t limit) {
    if (text.size() <= limit) return;
    size_t end = 0;
    while (end < limit) {
        const size_t next = end + CharBytes(codePage, text, end);
        if (next > limit) break;
        end = next;
    }
    text.resize(end);
}

// Builds the result apart from the text, so each step takes time in proportion to its text,
// and stops once the result has reached the bound.
void ReplaceAll(UINT codePage, std::string& text, const char* tag, const std::string& value) {
    const std::string key(tag);
    std::string out;
    out.reserve(text.size() < kMaxFormattedText ? text.size() : kMaxFormattedText);
    for (size_t at = 0; at < text.size() && out.size() < kMaxFormattedText;) {
        if (text.compare(at, key.size(), key) == 0) {
            out += value;
            at += key.size();
            continue;
        }
        const size_t bytes = CharBytes(codePage, text, at);
        out.append(text, at, bytes);
        at += bytes;
    }
    CutAtCharacter(codePage, out, kMaxFormattedText);
    text.swap(out);
}

}  // namespace

std::string FormatLength(INT32 seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    return text;
}

std::string FormatSongInfo(const std::string& format, const SongInfo& info) {
    // Templates and tags are the player's and the settings' text: the system code page, which
    // differs from the thread's where the user's format locale is not the system locale.
    const UINT codePage = ::GetACP();
    std::string text = format;
    ReplaceAll(codePage, text, "%ARTIST%", info.artist);
    ReplaceAll(codePage, text, "%TITLE%", info.title);
    ReplaceAll(codePage, text, "%COMMENT%", info.comment);
    ReplaceAll(codePage, text, "%ALBUM%", info.album);
    ReplaceAll(codePage, text, "%LENGTH%", FormatLength(info.length));
    return text;
}

}  // namespace ombrel
