#include "standin/player/RequestAnswers.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <shlobj.h>

#include "plugin/PlayerRequests.h"
#include "standin/player/Playlist.h"
#include "standin/player/WavReader.h"
#include "standin/player/WideText.h"

namespace standin {
namespace {

constexpr UINT_PTR kMaxPathText = 32768;

bool ReadableString(const char* text) {
    return text != nullptr && !::IsBadStringPtrA(text, kMaxPathText);
}

bool ReadableString(const wchar_t* text) {
    return text != nullptr && !::IsBadStringPtrW(text, kMaxPathText);
}

bool WritableText(char* buffer, int size) {
    return buffer != nullptr && size > 0 && !::IsBadWritePtr(buffer, UINT_PTR(size));
}

bool WritableText(wchar_t* buffer, size_t size) {
    return buffer != nullptr && size > 0 && size < kMaxPathText && !::IsBadWritePtr(buffer, size * sizeof(wchar_t));
}

void CopyText(const std::wstring& text, wchar_t* buffer, size_t size) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n * sizeof(wchar_t));
    buffer[n] = L'\0';
}

std::string AnsiPlaylistTitle(const std::string& path, const WavTags& tags) {
    return tags.utf8 ? AnsiFromWide(PlaylistTitleW(WideFromAnsi(path), tags)) : PlaylistTitle(path, tags);
}

// Cut to fit, always zero-terminated.
void CopyText(const std::string& text, char* buffer, int size) {
    const size_t n = std::min(text.size(), size_t(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace

LRESULT AnswerTagRequest(WPARAM wParam) {
    auto* record = reinterpret_cast<TagRequestRecord*>(wParam);
    if (record == nullptr || ::IsBadReadPtr(record, sizeof(*record))) return 0;
    if (!ReadableString(record->path) || !ReadableString(record->tagName) ||
        !WritableText(record->buffer, record->bufferSize))
        return 0;
    const WavReadResult read = ReadWavInfo(record->path);
    const std::optional<std::string>* tag = FindTagByName(read.info.tags, record->tagName);
    if (!read.ok || tag == nullptr) return 0;
    CopyText(AnsiTagValue(read.info.tags, tag->value_or(std::string())), record->buffer, record->bufferSize);
    return 1;
}

LRESULT AnswerTagRequestW(WPARAM wParam) {
    auto* record = reinterpret_cast<TagRequestRecordW*>(wParam);
    if (record == nullptr || ::IsBadReadPtr(record, sizeof(*record))) return 0;
    if (!ReadableString(record->path) || !ReadableString(record->tagName) ||
        !WritableText(record->buffer, record->bufferSize))
        return 0;
    const WavReadResult read = ReadWavInfo(std::wstring(record->path));
    const std::optional<std::string>* tag = FindTagByName(read.info.tags, record->tagName);
    if (!read.ok || tag == nullptr) return 0;
    CopyText(WideTagValue(read.info.tags, tag->value_or(std::string())), record->buffer, record->bufferSize);
    return 1;
}

LRESULT AnswerBasicInfoRequestW(WPARAM wParam) {
    auto* record = reinterpret_cast<BasicInfoRecordW*>(wParam);
    if (record == nullptr || ::IsBadWritePtr(record, sizeof(*record))) return 0;
    if (!ReadableString(record->path)) return 0;
    const std::wstring path(record->path);
    const WavReadResult read = ReadWavInfo(path);
    if (!read.ok) return 0;
    record->length = int(read.info.frames / read.info.format.sampleRate);
    if (record->titleSize > 0 && WritableText(record->title, size_t(record->titleSize)))
        CopyText(PlaylistTitleW(path, read.info.tags), record->title, size_t(record->titleSize));
    return 1;
}

LRESULT AnswerBasicInfoRequest(WPARAM wParam) {
    auto* record = reinterpret_cast<BasicInfoRecord*>(wParam);
    if (record == nullptr || ::IsBadWritePtr(record, sizeof(*record))) return 0;
    if (!ReadableString(record->path)) return 0;
    const WavReadResult read = ReadWavInfo(record->path);
    if (!read.ok) return 0;
    record->length = int(read.info.frames / read.info.format.sampleRate);
    if (WritableText(record->title, record->titleSize))
        CopyText(AnsiPlaylistTitle(record->path, read.info.tags), record->title, record->titleSize);
    return 1;
}

std::wstring PrepareSettingsFolder(const std::wstring& asked) {
    std::wstring folder = asked;
    if (folder.empty()) {
        wchar_t appData[MAX_PATH] = L"";
        if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData)))
            return std::wstring();
        folder = std::wstring(appData) + L"\\Winamp";
    }
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

}  // namespace standin
