#include "plugin/SongInfo.h"

#include <climits>
#include <cstring>
#include <cwchar>

#include "plugin/PlayerRequests.h"
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

INT32 ReadLength(HWND player, const std::string& path) {
    BasicInfoRecord record{path.c_str(), 0, 0, nullptr, 0};
    ::SendMessageA(player, kPlayerMessage, reinterpret_cast<WPARAM>(&record), kRequestBasicInfo);
    return record.length;
}

INT32 ReadLengthW(HWND player, const PlayingFile& file, const std::wstring& widePath) {
    // The answer is not relied on: a length the player left as it was means it did not answer.
    constexpr int kUnanswered = INT_MIN;
    BasicInfoRecordW record{widePath.c_str(), 0, kUnanswered, nullptr, 0};
    ::SendMessageA(player, kPlayerMessage, reinterpret_cast<WPARAM>(&record), kRequestBasicInfoW);
    return record.length != kUnanswered ? record.length : ReadLength(player, file.path);
}

}  // namespace

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

HRESULT ReadTagW(HWND player, const wchar_t* path, const wchar_t* tagName, std::wstring* text) {
    wchar_t buffer[kTagAnswerSize] = {};
    TagRequestRecordW record{path, tagName, buffer, kTagAnswerSize};
    const LRESULT answer =
        ::SendMessageA(player, kPlayerMessage, reinterpret_cast<WPARAM>(&record), kRequestTagW);
    if (answer != 1) {
        text->clear();
        return E_FAIL;
    }
    text->assign(buffer, wcsnlen(buffer, kTagAnswerSize));
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

}  // namespace ombrel
