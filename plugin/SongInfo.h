// What the player tells about a file: its four tags and its length.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

struct SongInfo {
    std::string title;
    std::string album;
    std::string artist;
    std::string comment;
    INT32 length = 0;  // seconds
};

// Request 291 for the length (its answer ignored; length stays 0 when the player writes
// nothing), then the tags TITLE, ARTIST, COMMENT and ALBUM. The first failing tag ends it with
// that failure, the tags not yet read left empty.
HRESULT ReadSongInfo(HWND player, const char* path, SongInfo* info);

// Request 290 with a zeroed 1024-byte answer buffer: on the answer 1 the text is the buffer
// up to its first zero byte; otherwise the text is emptied and the result is E_FAIL.
HRESULT ReadTag(HWND player, const char* path, const char* tagName, std::string* text);

}  // namespace ombrel
