// What the player tells about a file: its four tags and its length.
#pragma once

#include <windows.h>

#include <string>

#include "plugin/CurrentFile.h"

namespace ombrel {

struct SongInfo {
    std::string title;
    std::string album;
    std::string artist;
    std::string comment;
    INT32 length = 0;  // seconds
    // Set when the player gave the tags as UTF-16 (5.3 and later): the four in full below, and
    // above what the system code page makes of them, as an ANSI answer would have held them.
    bool unicode = false;
    std::wstring titleW;
    std::wstring albumW;
    std::wstring artistW;
    std::wstring commentW;
    // The player refused a tag (an untagged file, a host without tags): title holds the title its
    // playlist shows, and the caption and PeerCast carry that alone.
    bool playlistTitle = false;
};

// Request 291 for the length (its answer ignored; length stays 0 when the player writes
// nothing), then the tags TITLE, ARTIST, COMMENT and ALBUM. The first failing tag ends it with
// that failure, the tags not yet read left empty.
HRESULT ReadSongInfo(HWND player, const char* path, SongInfo* info);

// Request 290 with a zeroed 1024-byte answer buffer: on the answer 1 the text is the buffer
// up to its first zero byte; otherwise the text is emptied and the result is E_FAIL.
HRESULT ReadTag(HWND player, const char* path, const char* tagName, std::string* text);

// A player that answers request 0 with 5.3 or later is asked in UTF-16 (1291, then 3026 for
// each tag) with the file's UTF-16 path, or its ANSI path as the system converts it when only
// that was announced; a request it does not answer is asked again in ANSI (291, 290). Any
// other player is asked as ReadSongInfo asks. Where a tag is refused, or no path is known, the
// current playlist entry's title stands in (playlistTitle) when that entry is the file (request
// 211 gives its path or none); E_FAIL otherwise or when it has no title.
HRESULT ReadSongInfo(HWND player, const PlayingFile& file, SongInfo* info);

// Request 3026 with a zeroed 1024-character answer buffer: on the answer 1 the text is the
// buffer up to its first zero; otherwise E_FAIL.
HRESULT ReadTagW(HWND player, const wchar_t* path, const wchar_t* tagName, std::wstring* text);

}  // namespace ombrel
