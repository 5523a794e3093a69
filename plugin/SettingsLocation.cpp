#include "plugin/SettingsLocation.h"

#include "plugin/GuardedCopy.h"
#include "plugin/PlayerRequests.h"
#include "plugin/Settings.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

bool FileExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

}  // namespace

bool AcceptsWrites(const std::string& path) {
    if (FileExists(path)) {
        const win::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        // A file another program holds open is busy, not forbidden: it stays where it is.
        const DWORD error = file ? ERROR_SUCCESS : ::GetLastError();
        return error == ERROR_SUCCESS || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    // A name of our own that no one else uses; the system deletes the probe when it is closed.
    const std::string probe = path + "." + std::to_string(::GetCurrentProcessId()) + ".probe";
    const win::UniqueFile file(::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(file);
}

std::string AskPlayerSettingsFolder(HWND player) {
    if (!player) return std::string();
    const LRESULT answer = ::SendMessageA(player, kPlayerMessage, 0, kRequestSettingsFolder);
    std::string folder;
    // Players that do not know the request answer 0 or 1.
    if (answer == 0 || answer == 1) return folder;
    if (!CopyStringGuarded(reinterpret_cast<const char*>(answer), &folder, MAX_PATH)) folder.clear();
    return folder;
}

SettingsFiles LocateSettingsFiles(const std::string& pluginFolder, HWND player) {
    SettingsFiles files;
    files.readPath = files.writePath = pluginFolder + kSettingsFileName;
    files.defaultPlayLog = pluginFolder + kDefaultPlayLogName;
    if (AcceptsWrites(files.writePath)) return files;

    const std::string playerFolder = WithSeparator(AskPlayerSettingsFolder(player));
    if (playerFolder.empty()) return files;
    const std::string own = playerFolder + kSettingsFileName;
    // Settings an installer or an earlier version left beside the DLL are read until the
    // player's folder holds a file of its own.
    if (FileExists(own) || !FileExists(files.readPath)) files.readPath = own;
    files.writePath = own;
    files.unwritablePlayLog = files.defaultPlayLog;
    files.defaultPlayLog = playerFolder + kDefaultPlayLogName;
    return files;
}

}  // namespace ombrel
