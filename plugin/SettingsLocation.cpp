#include "plugin/SettingsLocation.h"

#include "plugin/GuardedCopy.h"
#include "plugin/PlayerAsk.h"
#include "plugin/PlayerRequests.h"
#include "plugin/Settings.h"
#include "plugin/SettingsMove.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring WithSeparator(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

std::wstring Widen(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

std::wstring FromAnsi(const std::string& ansi) {
    if (ansi.empty()) return std::wstring();
    const int units = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], units);
    return wide;
}

// The code-page form of wide, or empty where a character does not survive the way back.
std::string ExactAnsi(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int bytes =
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string ansi(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &ansi[0], bytes, nullptr, nullptr);
    return FromAnsi(ansi) == wide ? ansi : std::string();
}

}  // namespace

bool AcceptsWrites(const std::wstring& path) {
    if (FileExists(path)) {
        const win::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        // A file another program holds open is busy, not forbidden: it stays where it is.
        const DWORD error = file ? ERROR_SUCCESS : ::GetLastError();
        return error == ERROR_SUCCESS || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    // A name of our own that no one else uses; the system deletes the probe when it is closed.
    const std::wstring probe = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L".probe";
    const win::UniqueFile file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(file);
}

std::wstring AskPlayerSettingsFolder(HWND player) {
    std::wstring folder;
    if (!player) return folder;
    // Another kind of host may answer from another process, or hang: the asks are bounded and a
    // pointer is read only where it can be one.
    LRESULT wide = 0;
    if (AskPlayer(player, 0, kRequestSettingsFolderW, &wide) && IsPlayerPointer(player, wide)) {
        if (!CopyWideStringGuarded(reinterpret_cast<const wchar_t*>(wide), &folder)) folder.clear();
        return folder;
    }
    // An older player's ANSI answer; the player gives an empty text where its own conversion failed.
    LRESULT ansi = 0;
    std::string text;
    if (AskPlayer(player, 0, kRequestSettingsFolder, &ansi) && IsPlayerPointer(player, ansi) &&
        CopyStringGuarded(reinterpret_cast<const char*>(ansi), &text))
        folder = FromAnsi(text);
    return folder;
}

std::string AnsiPathOf(const std::wstring& path) {
    std::string ansi = ExactAnsi(path);
    if (!ansi.empty() || path.empty()) return ansi;
    const DWORD units = ::GetShortPathNameW(path.c_str(), nullptr, 0);
    if (units == 0) return std::string();
    std::wstring shortPath(units, L'\0');
    const DWORD written = ::GetShortPathNameW(path.c_str(), &shortPath[0], units);
    if (written == 0 || written >= units) return std::string();
    shortPath.resize(written);
    return ExactAnsi(shortPath);
}

SettingsFiles LocateSettingsFiles(const std::wstring& pluginFolder, HWND player) {
    SettingsFiles files;
    const std::wstring beside = pluginFolder + Widen(kSettingsFileName);
    const std::string pluginAnsi = AnsiPathOf(pluginFolder);
    files.readPath = files.writePath = beside;
    files.defaultPlayLog = pluginAnsi.empty() ? std::string() : pluginAnsi + kDefaultPlayLogName;
    if (AcceptsWrites(beside)) return files;

    // From here on the folder beside the DLL keeps nothing new.
    files.writePath.clear();
    const std::wstring playerFolder = WithSeparator(AskPlayerSettingsFolder(player));
    if (playerFolder.empty()) return files;
    const std::wstring own = playerFolder + Widen(kSettingsFileName);
    if (!AcceptsWrites(own)) return files;
    // Settings an installer or an earlier version left beside the DLL are read until they have
    // once been saved in the player's folder; from then on a file missing there means defaults.
    if (FileExists(own) || !FileExists(beside) || SettingsHaveMoved(beside)) files.readPath = own;
    files.writePath = own;
    files.unwritablePlayLog = files.defaultPlayLog;
    const std::string playerAnsi = AnsiPathOf(playerFolder);
    files.defaultPlayLog = playerAnsi.empty() ? std::string() : playerAnsi + kDefaultPlayLogName;
    return files;
}

}  // namespace ombrel
