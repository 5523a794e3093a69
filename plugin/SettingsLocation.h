// Where the settings file and the default play log live. Beside the plug-in's DLL, as always;
// but when Windows refuses writes there (a player under Program Files run by a normal user),
// in the folder where the player keeps its own settings, which it names on request 335.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

struct SettingsFiles {
    std::string readPath;        // the file a load reads
    std::string writePath;       // the file a save writes
    std::string defaultPlayLog;  // what an empty play-log setting becomes
    // The default beside the DLL that a file read from there may still name; the log goes to
    // defaultPlayLog instead. Empty while the settings stay beside the DLL.
    std::string unwritablePlayLog;
};

// pluginFolder ends in a separator. The player is asked only when the folder refuses writes.
SettingsFiles LocateSettingsFiles(const std::string& pluginFolder, HWND player);

// Whether a file can be written at path, by really opening it (an existing file) or creating a
// probe beside it and deleting it again: the folder's name says nothing about its rights.
bool AcceptsWrites(const std::string& path);

// Request 335: the player's settings folder, or empty when the player gives no answer (0 or 1)
// or a pointer that does not read.
std::string AskPlayerSettingsFolder(HWND player);

}  // namespace ombrel
