#include "plugin/FormatSongInfo.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "text/CodePageChars.h"

namespace ombrel {
namespace {

// How the two forms of text are walked: whole characters (units of the string type), and the
// bytes each takes in the system code page, which is what the bound counts for both forms, so
// that a title the code page can hold is cut at the same character either way.
struct AnsiWalk {
    UINT codePage;
    size_t Units(const std::string& text, size_t at) const {
        return CharBytesAt(codePage, text.data(), text.size(), at);
    }
    size_t Bytes(const std::string&, size_t, size_t units) const { return units; }
    size_t TotalBytes(const std::string& text) const { return text.size(); }
};

struct WideWalk {
    UINT codePage;
    size_t Units(const std::wstring& text, size_t at) const { return WideCharUnitsAt(text.data(), text.size(), at); }
    size_t Bytes(const std::wstring& text, size_t at, size_t units) const {
        return CodePageBytesOf(codePage, text.data() + at, units);
    }
    size_t TotalBytes(const std::wstring& text) const {
        size_t bytes = 0;
        for (size_t at = 0; at < text.size();) {
            const size_t units = Units(text, at);
            bytes += Bytes(text, at, units);
            at += units;
        }
        return bytes;
    }
};

// The longest start of text that ends on a character boundary and holds at most limit bytes.
template <class Text, class Walk>
void CutAtCharacter(const Walk& walk, Text& text, size_t bytes, size_t limit) {
    if (bytes <= limit) return;
    size_t end = 0;
    size_t taken = 0;
    while (end < text.size()) {
        const size_t units = walk.Units(text, end);
        const size_t more = walk.Bytes(text, end, units);
        if (taken + more > limit) break;
        taken += more;
        end += units;
    }
    text.resize(end);
}

// Builds the result apart from the text, so each step takes time in proportion to its text,
// and stops once the result has reached the bound. cut says that the text is the start of a
// longer one that an earlier step cut at the bound; it is set once this step cuts.
template <class Text, class Walk>
void ReplaceAll(const Walk& walk, Text& text, const Text& key, const Text& value, bool& cut) {
    const size_t valueBytes = walk.TotalBytes(value);
    Text out;
    out.reserve(text.size() < kMaxFormattedText ? text.size() : kMaxFormattedText);
    size_t outBytes = 0;
    size_t copiedFrom = 0;  // where the text copied since the last value begins in out
    size_t at = 0;
    while (at < text.size() && outBytes < kMaxFormattedText) {
        if (text.compare(at, key.size(), key) == 0) {
            out += value;
            outBytes += valueBytes;
            at += key.size();
            copiedFrom = out.size();
            continue;
        }
        const size_t units = walk.Units(text, at);
        out.append(text, at, units);
        outBytes += walk.Bytes(text, at, units);
        at += units;
    }
    if (cut && at == text.size()) {
        // The cut text ends where the full one goes on: an end copied as it was that begins this
        // step's tag may be that tag in the full text. Kept, it could join the text before it
        // into a later step's tag ("%ALBUM" and the "%" of "%COMMEN") that the full text never
        // has; dropped, the text stays the start of the full one.
        const size_t from = out.size() - std::min(out.size() - copiedFrom, key.size() - 1);
        for (size_t p = from; p < out.size(); ++p) {
            if (key.compare(0, out.size() - p, out, p, out.size() - p) == 0) {
                out.resize(p);
                break;
            }
        }
    }
    if (at < text.size() || outBytes > kMaxFormattedText) cut = true;
    CutAtCharacter(walk, out, outBytes, kMaxFormattedText);
    text.swap(out);
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

}  // namespace

std::string FormatLength(INT32 seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    return text;
}

std::string FormatSongInfo(const std::string& format, const SongInfo& info) {
    // Templates and tags are the player's and the settings' text: the system code page, which
    // differs from the thread's where the user's format locale is not the system locale.
    const AnsiWalk walk{::GetACP()};
    std::string text = format;
    bool cut = false;
    ReplaceAll<std::string>(walk, text, "%ARTIST%", info.artist, cut);
    ReplaceAll<std::string>(walk, text, "%TITLE%", info.title, cut);
    ReplaceAll<std::string>(walk, text, "%COMMENT%", info.comment, cut);
    ReplaceAll<std::string>(walk, text, "%ALBUM%", info.album, cut);
    ReplaceAll<std::string>(walk, text, "%LENGTH%", FormatLength(info.length), cut);
    return text;
}

std::wstring FormatSongInfoW(const std::string& format, const SongInfo& info) {
    const WideWalk walk{::GetACP()};
    if (!info.unicode) {
        const std::string ansi = FormatSongInfo(format, info);
        return SystemCodePageToWide(walk.codePage, ansi.data(), ansi.size());
    }
    std::wstring text = SystemCodePageToWide(walk.codePage, format.data(), format.size());
    bool cut = false;
    ReplaceAll<std::wstring>(walk, text, L"%ARTIST%", info.artistW, cut);
    ReplaceAll<std::wstring>(walk, text, L"%TITLE%", info.titleW, cut);
    ReplaceAll<std::wstring>(walk, text, L"%COMMENT%", info.commentW, cut);
    ReplaceAll<std::wstring>(walk, text, L"%ALBUM%", info.albumW, cut);
    ReplaceAll<std::wstring>(walk, text, L"%LENGTH%", Widen(FormatLength(info.length)), cut);
    return text;
}

}  // namespace ombrel
