// Where a broadcast's recording goes: the default folder and each broadcast's own file name.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

// The user's Music folder (where a broadcaster looks for audio files), or, where the system
// names none, the folder of the plug-in's DLL.
std::wstring DefaultArchiveFolder();

// "ombrel-YYYYMMDD-HHMMSS.wma" of the given local time.
std::wstring ArchiveFileName(const SYSTEMTIME& local);

// folder\ArchiveFileName(local), or, when a file of that name exists, the same name with "-2",
// "-3", ... before ".wma": an earlier recording is never overwritten. Empty when folder is, or
// when no free name is left.
std::wstring FreeArchivePath(const std::wstring& folder, const SYSTEMTIME& local);

}  // namespace ombrel
