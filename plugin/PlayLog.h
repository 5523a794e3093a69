// The play log: one line per announced track, appended to _cPlayLog.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

// "yyyy/mm/dd hh:mm:ss > title" with CR LF.
std::string FormatPlayLogLine(const SYSTEMTIME& localTime, const char* title);

// The local time now and the title of the player's current playlist entry (ReadPlaylistEntry) in
// the system code page, appended as one line. No title from the player gives an empty title. A
// log that cannot be opened is skipped without a word.
void AppendPlayLog();

// The same with a title already read.
void AppendPlayLogLine(const std::string& title);

}  // namespace ombrel
