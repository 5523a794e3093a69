#include "plugin/PlaylistEntry.h"

#include "plugin/GuardedCopy.h"
#include "plugin/PlayerAsk.h"
#include "plugin/PlayerRequests.h"
#include "text/CodePageChars.h"

namespace ombrel {
namespace {

bool AskText(HWND player, WPARAM wParam, LPARAM request, std::string* text) {
    LRESULT answer = 0;
    text->clear();
    if (!AskPlayer(player, wParam, request, &answer) || !IsPlayerPointer(player, answer)) return false;
    return CopyStringGuarded(reinterpret_cast<const char*>(answer), text);
}

bool AskWideText(HWND player, WPARAM wParam, LPARAM request, std::wstring* text) {
    LRESULT answer = 0;
    text->clear();
    if (!AskPlayer(player, wParam, request, &answer) || !IsPlayerPointer(player, answer)) return false;
    return CopyWideStringGuarded(reinterpret_cast<const wchar_t*>(answer), text);
}

}  // namespace

bool LooksLikeUtf8(const std::string& bytes) {
    bool high = false;
    for (size_t at = 0; at < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[at]);
        if (lead < 0x80) {
            ++at;
            continue;
        }
        high = true;
        size_t more = 0;
        unsigned long code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) more = 1, code = lead & 0x1F;
        else if (lead >= 0xE0 && lead <= 0xEF) more = 2, code = lead & 0x0F;
        else if (lead >= 0xF0 && lead <= 0xF4) more = 3, code = lead & 0x07;
        else return false;
        if (at + more >= bytes.size()) return false;
        for (size_t i = 1; i <= more; ++i) {
            const unsigned char next = static_cast<unsigned char>(bytes[at + i]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((more == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (more == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        at += more + 1;
    }
    return high;
}

bool ReadPlaylistEntry(HWND player, PlaylistEntry* entry) {
    *entry = PlaylistEntry();
    LRESULT position = 0;
    if (!AskPlayer(player, 0, kRequestPlaylistPosition, &position)) return false;
    entry->position = position;
    AskText(player, static_cast<WPARAM>(position), kRequestPlaylistFile, &entry->path);
    const UINT codePage = ::GetACP();
    const LRESULT version = AskPlayerVersion(player);
    if (version >= kFirstUnicodePlayer &&
        AskWideText(player, static_cast<WPARAM>(position), kRequestPlaylistTitleW, &entry->title)) {
        entry->titleAnsi = WideToCodePage(codePage, entry->title.data(), entry->title.size());
        return !entry->Empty();
    }
    std::string bytes;
    AskText(player, static_cast<WPARAM>(position), kRequestPlaylistTitle, &bytes);
    if (version == 0 && LooksLikeUtf8(bytes)) {
        entry->title = CodePageToWide(CP_UTF8, bytes.data(), bytes.size());
        entry->titleAnsi = WideToCodePage(codePage, entry->title.data(), entry->title.size());
    } else {
        entry->title = SystemCodePageToWide(codePage, bytes.data(), bytes.size());
        entry->titleAnsi = std::move(bytes);
    }
    return !entry->Empty();
}

}  // namespace ombrel

bool AskPlayerHasUnicode(HWND player) { return ombrel::AskPlayerVersion(player) >= kFirstUnicodePlayer; }

bool AskPlayerIsPlaying(HWND player) {
    LRESULT answer = 0;
    return ombrel::AskPlayer(player, 0, kRequestIsPlaying, &answer) && answer == 1;
}
