// _cCurrentFile: the path the player announced last, kept from Init to Quit, broadcasting or
// not. Written by the hooks on the player's window thread, read by the song worker and the
// timer; each side takes its copy under one lock.
//
// A player of version 5.3 or later announces each file twice, as ANSI text (3003) and as
// UTF-16 (13003), in either order: the second half of such a pair completes the record rather
// than announcing the file again, so the worker acts once per file. The ANSI half pairs with the
// UTF-16 one when it is empty (code page 65001), is what the code page makes of the UTF-16 path
// (with or without best-fit characters), or is that of its 8.3 form.
#pragma once

#include <string>

namespace ombrel {

struct PlayingFile {
    std::string path;       // ANSI, as 3003 gave it or as the system converts the UTF-16 path
    std::wstring widePath;  // empty until a 13003 for this file arrived
    bool operator==(const PlayingFile& other) const {
        return path == other.path && widePath == other.widePath;
    }
    bool operator!=(const PlayingFile& other) const { return !(*this == other); }
};

// True when the announcement is a file of its own (the worker is to be woken), false when it
// completed the record of the file the other kind of announcement just gave, or is an empty
// ANSI path (whose UTF-16 half, completing it, then wakes the worker).
bool AnnounceCurrentFile(const std::string& path);
bool AnnounceCurrentFileW(const std::wstring& widePath);

// Replaces the record with an ANSI path alone.
void SetCurrentFile(const std::string& path);
std::string CurrentFile();
PlayingFile CurrentPlayingFile();

}  // namespace ombrel
