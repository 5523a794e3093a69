// Requests 290 and 291: the player reads the named file itself, as its file-info reader does.
// The records come from another module, so every pointer in them is checked before use.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

// wParam = TagRequestRecord*. 1 when the file reads and the tag name is known (an absent tag
// answers the empty string); 0 otherwise.
LRESULT AnswerTagRequest(WPARAM wParam);

// wParam = BasicInfoRecord*. Writes the length in whole seconds; 1, or 0 if unreadable.
LRESULT AnswerBasicInfoRequest(WPARAM wParam);

// The player's settings folder: the one asked for, or %APPDATA%\Winamp when none is; created if
// missing (%APPDATA% itself too). No final separator.
std::wstring PrepareSettingsFolder(const std::wstring& asked);
// Players 5.3 and later: the same in UTF-16 (3026 with TagRequestRecordW, whose size the player
// takes in characters; 1291 with BasicInfoRecordW).
LRESULT AnswerTagRequestW(WPARAM wParam);
LRESULT AnswerBasicInfoRequestW(WPARAM wParam);

}  // namespace standin
