// What the plug-in asks of the player: synchronous WM_USER sends to the player's main window,
// the request number in lParam and its argument in wParam. Shared with the player stand-in.
#pragma once

#include <windows.h>

constexpr UINT kPlayerMessage = WM_USER;

enum PlayerRequest : LPARAM {
    kRequestIsPlaying = 104,        // wParam 0; 1 playing, 3 paused, 0 stopped
    kRequestPlaylistPosition = 125, // wParam 0; the current entry
    kRequestPlaylistTitle = 212,    // wParam = position; pointer to the entry's ANSI title
    kRequestTag = 290,              // wParam = TagRequestRecord*; 1 when found
    kRequestBasicInfo = 291,        // wParam = BasicInfoRecord*; the length field is written
    kRequestSettingsFolder = 335,   // wParam 0; pointer to the ANSI path of the player's settings folder
    kNotifyPlayingFile = 3003,      // wParam = ANSI path of the file that starts playing
};

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

static_assert(sizeof(TagRequestRecord) == 16, "four 32-bit fields");
static_assert(sizeof(BasicInfoRecord) == 20, "five 32-bit fields");

// Request 104: only the answer 1 means playing (3 is paused, 0 stopped).
inline bool AskPlayerIsPlaying(HWND player) {
    return ::SendMessageA(player, kPlayerMessage, 0, kRequestIsPlaying) == 1;
}
