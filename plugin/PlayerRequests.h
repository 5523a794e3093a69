// What the plug-in asks of the player: synchronous WM_USER sends to the player's main window,
// the request number in lParam and its argument in wParam. Shared with the player stand-in.
#pragma once

#include <windows.h>

constexpr UINT kPlayerMessage = WM_USER;

enum PlayerRequest : LPARAM {
    kRequestVersion = 0,            // wParam 0; 0x20yx for 2.yx, 0x50yx for 5.yx
    kRequestIsPlaying = 104,        // wParam 0; 1 playing, 3 paused, 0 stopped
    kRequestPlaylistPosition = 125, // wParam 0; the current entry
    kRequestPlaylistFile = 211,     // wParam = position; pointer to the entry's ANSI path
    kRequestPlaylistTitle = 212,    // wParam = position; pointer to the entry's ANSI title
    kRequestPlaylistTitleW = 213,   // wParam = position; pointer to the entry's UTF-16 title
    kRequestTag = 290,              // wParam = TagRequestRecord*; 1 when found
    kRequestBasicInfo = 291,        // wParam = BasicInfoRecord*; the length field is written
    kRequestSettingsFolder = 335,   // wParam 0; pointer to the ANSI path of the player's settings folder
    kRequestSettingsFolderW = 1335, // wParam 0; the same in UTF-16 (players from 5.58 on)
    kRequestBasicInfoW = 1291,      // wParam = BasicInfoRecordW*; the length field is written
    kNotifyPlayingFile = 3003,      // wParam = ANSI path of the file that starts playing
    kRequestTagW = 3026,            // wParam = TagRequestRecordW*; 1 when found
    kNotifyPlayingFileW = 13003,    // wParam = UTF-16 path, sent beside 3003 for the same file
};

// The first version that answers 213, 1291, 3026 and sends 13003 (5.3).
constexpr LRESULT kFirstUnicodePlayer = 0x5030;

constexpr int kTagAnswerSize = 1024;

// Request 290: the player writes the tag's value as zero-terminated ANSI text into buffer.
struct TagRequestRecord {
    const char* path;
    const char* tagName;  // "TITLE", "ARTIST", "COMMENT" or "ALBUM"
    char* buffer;
    int bufferSize;
};

// Request 291: the player writes the file's length in seconds.
struct BasicInfoRecord {
    const char* path;
    int quickCheck;  // 0
    int length;
    char* title;     // null
    int titleSize;   // 0
};

// Request 3026: the player writes the tag's value as zero-terminated UTF-16 into buffer.
// The player's header leaves the unit of bufferSize unstated; a size in characters is safe
// whichever unit it reads.
struct TagRequestRecordW {
    const wchar_t* path;
    const wchar_t* tagName;
    wchar_t* buffer;
    size_t bufferSize;
};

// Request 1291: as 291, with a UTF-16 path and title buffer.
struct BasicInfoRecordW {
    const wchar_t* path;
    int quickCheck;  // 0
    int length;
    wchar_t* title;  // null
    int titleSize;   // 0
};

static_assert(sizeof(TagRequestRecord) == 16, "four 32-bit fields");
static_assert(sizeof(BasicInfoRecord) == 20, "five 32-bit fields");
static_assert(sizeof(TagRequestRecordW) == 16, "four 32-bit fields");
static_assert(sizeof(BasicInfoRecordW) == 20, "five 32-bit fields");

// Request 0. An unknown request answers 1, and a player that does not know this one 0: only a
// version of the real player's range (2.x to 5.x) counts, and only 5.3 and later as Unicode.
bool AskPlayerHasUnicode(HWND player);

// Request 104: only the answer 1 means playing (3 is paused, 0 stopped); no answer is not playing.
bool AskPlayerIsPlaying(HWND player);
