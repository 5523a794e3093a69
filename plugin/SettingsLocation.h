// Where the settings file and the default play log live. Beside the plug-in's DLL, as always;
// but when Windows refuses writes there (a player under Program Files run by a normal user),
// in the folder where the player keeps its own settings, when that folder takes a file. Where
// neither does, the settings live in memory for this run.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

struct SettingsFiles {
    std::wstring readPath;       // the file a load reads; empty: nothing to read, the defaults stand
    std::wstring writePath;      // the file a save writes; empty: no folder takes the settings
    std::string defaultPlayLog;  // what an empty play-log setting becomes (ANSI, as the log opens it)
    // The default beside the DLL that a file read from there may still name; the log goes to
    // defaultPlayLog instead. Empty while the settings stay beside the DLL.
    std::string unwritablePlayLog;
};

// pluginFolder ends in a separator. The player is asked only when the folder refuses writes.
// An earlier file beside the DLL is read only until the settings have once moved to the player's
// folder (SettingsMove.h): after that, a file deleted there means the defaults.
SettingsFiles LocateSettingsFiles(const std::wstring& pluginFolder, HWND player);

// Whether a file can be written at path, by really opening it (an existing file) or creating a
// probe beside it and deleting it again: the folder's name says nothing about its rights.
bool AcceptsWrites(const std::wstring& path);

// The player's settings folder: request 1335 (UTF-16, players from 5.58 on) first, request 335
// (ANSI) where that is not answered. Empty when neither gives a text that reads: a player that
// does not know a request answers 0 or 1, and the ANSI answer is empty where the player could not
// convert its folder (code page 65001).
std::wstring AskPlayerSettingsFolder(HWND player);

// The form of path that a function taking only ANSI text opens: the path itself when it survives
// the system code page, else its 8.3 form where the volume keeps one; empty when neither does.
std::string AnsiPathOf(const std::wstring& path);

}  // namespace ombrel
