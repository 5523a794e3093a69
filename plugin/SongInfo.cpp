#include "plugin/SongInfo.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <memory>

#include "plugin/PlayerAsk.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PlaylistEntry.h"
#include "text/CodePageChars.h"

namespace ombrel {
namespace {

struct TagField {
    const char* name;
    const wchar_t* wideName;
    std::string SongInfo::*field;
    std::wstring SongInfo::*wideField;
};

const TagField kTags[] = {
    {"TITLE", L"TITLE", &SongInfo::title, &SongInfo::titleW},
    {"ARTIST", L"ARTIST", &SongInfo::artist, &SongInfo::artistW},
    {"COMMENT", L"COMMENT", &SongInfo::comment, &SongInfo::commentW},
    {"ALBUM", L"ALBUM", &SongInfo::album, &SongInfo::albumW},
};

// An ANSI answer holds at most this many bytes; the converted UTF-16 tag is cut to the same,
// at a whole character, so the ANSI texts stay within what they always were.
constexpr size_t kMaxAnsiTag = kTagAnswerSize - 1;

// A record the player writes into lives on the heap with the texts it points at, and is left
// there when the answer did not come in time: the player may still take the request later and
// write into it then.
template <class Exchange>
bool AskWithRecord(HWND player, std::unique_ptr<Exchange>& exchange, LPARAM request, LRESULT* answer) {
    const bool answered = AskPlayer(player, reinterpret_cast<WPARAM>(&exchange->record), request, answer);
    if (!answered && !OnPlayerThread(player)) (void)exchange.release();
    return answered;
}

struct LengthExchange {
    explicit LengthExchange(const std::string& file) : path(file), record{path.c_str(), 0, 0, nullptr, 0} {}
    std::string path;
    BasicInfoRecord record;
};

struct LengthExchangeW {
    // The answer is not relied on: a length the player left as it was means it did not answer.
    static constexpr int kUnanswered = INT_MIN;
    explicit LengthExchangeW(const std::wstring& file)
        : path(file), record{path.c_str(), 0, kUnanswered, nullptr, 0} {}
    std::wstring path;
    BasicInfoRecordW record;
};

struct TagExchange {
    TagExchange(const char* file, const char* tag) : path(file), name(tag) {}
    std::string path;
    std::string name;
    char buffer[kTagAnswerSize] = {};
    TagRequestRecord record{path.c_str(), name.c_str(), buffer, kTagAnswerSize};
};

struct TagExchangeW {
    TagExchangeW(const wchar_t* file, const wchar_t* tag) : path(file), name(tag) {}
    std::wstring path;
    std::wstring name;
    wchar_t buffer[kTagAnswerSize] = {};
    TagRequestRecordW record{path.c_str(), name.c_str(), buffer, kTagAnswerSize};
};

INT32 ReadLength(HWND player, const std::string& path) {
    auto exchange = std::make_unique<LengthExchange>(path);
    LRESULT answer = 0;
    return AskWithRecord(player, exchange, kRequestBasicInfo, &answer) ? exchange->record.length : 0;
}

INT32 ReadLengthW(HWND player, const PlayingFile& file, const std::wstring& widePath) {
    auto exchange = std::make_unique<LengthExchangeW>(widePath);
    LRESULT answer = 0;
    if (AskWithRecord(player, exchange, kRequestBasicInfoW, &answer) &&
        exchange->record.length != LengthExchangeW::kUnanswered)
        return exchange->record.length;
    return ReadLength(player, file.path);
}

// The tags as the player gives them, in ANSI or UTF-16 by its version.
HRESULT ReadTags(HWND player, const PlayingFile& file, SongInfo* info) {
    if (!AskPlayerHasUnicode(player)) return ReadSongInfo(player, file.path.c_str(), info);
    const UINT codePage = ::GetACP();
    const std::wstring widePath = !file.widePath.empty()
                                      ? file.widePath
                                      : SystemCodePageToWide(codePage, file.path.data(), file.path.size());
    info->unicode = true;
    info->length = ReadLengthW(player, file, widePath);
    for (const TagField& tag : kTags) {
        std::wstring& wide = info->*tag.wideField;
        std::string& ansi = info->*tag.field;
        if (SUCCEEDED(ReadTagW(player, widePath.c_str(), tag.wideName, &wide))) {
            ansi = WideToCodePage(codePage, wide.data(), wide.size());
            ansi.resize(WholeCharPrefix(codePage, ansi.data(), ansi.size(), kMaxAnsiTag));
            continue;
        }
        HRESULT hr = ReadTag(player, file.path.c_str(), tag.name, &ansi);
        if (FAILED(hr)) return hr;
        wide = SystemCodePageToWide(codePage, ansi.data(), ansi.size());
    }
    return S_OK;
}

}  // namespace

HRESULT ReadTag(HWND player, const char* path, const char* tagName, std::string* text) {
    text->clear();
    if (!path || !tagName) return E_FAIL;
    auto exchange = std::make_unique<TagExchange>(path, tagName);
    LRESULT answer = 0;
    if (!AskWithRecord(player, exchange, kRequestTag, &answer) || answer != 1) return E_FAIL;
    // A player that fills the whole buffer leaves no terminator: stop at its end.
    text->assign(exchange->buffer, strnlen(exchange->buffer, sizeof exchange->buffer));
    return S_OK;
}

HRESULT ReadTagW(HWND player, const wchar_t* path, const wchar_t* tagName, std::wstring* text) {
    text->clear();
    if (!path || !tagName) return E_FAIL;
    auto exchange = std::make_unique<TagExchangeW>(path, tagName);
    LRESULT answer = 0;
    if (!AskWithRecord(player, exchange, kRequestTagW, &answer) || answer != 1) return E_FAIL;
    text->assign(exchange->buffer, wcsnlen(exchange->buffer, kTagAnswerSize));
    return S_OK;
}

HRESULT ReadSongInfo(HWND player, const char* path, SongInfo* info) {
    info->length = ReadLength(player, path);
    for (const TagField& tag : kTags) {
        HRESULT hr = ReadTag(player, path, tag.name, &(info->*tag.field));
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT ReadSongInfo(HWND player, const PlayingFile& file, SongInfo* info) {
    // A host without a path to the entry has no tags to give either.
    if (!file.path.empty() && SUCCEEDED(ReadTags(player, file, info))) return S_OK;
    const INT32 length = info->length;
    PlaylistEntry entry;
    if (!ReadPlaylistEntry(player, &entry) || entry.title.empty()) return E_FAIL;
    // The title stands for the file only where the entry is that file, as far as the player says.
    if (!file.path.empty() && !entry.path.empty() && entry.path != file.path) return E_FAIL;
    *info = SongInfo();
    info->length = length;
    info->unicode = true;
    info->playlistTitle = true;
    info->titleW = std::move(entry.title);
    info->title = std::move(entry.titleAnsi);
    return S_OK;
}

}  // namespace ombrel
