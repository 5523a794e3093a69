#include "plugin/Settings.h"

#include <cstring>
#include <vector>

#include "plugin/DspModule.h"
#include "plugin/IniFile.h"
#include "plugin/LongTextValues.h"
#include "plugin/PluginState.h"
#include "plugin/RecordingFile.h"
#include "plugin/SettingsLocation.h"
#include "plugin/SettingsMove.h"
#include "plugin/TextEscape.h"
#include "win/UniqueAny.h"

namespace ombrel {

Settings _settings;

namespace {

// Text that does not convert becomes empty rather than half a string.
std::wstring AnsiToWide(const char* ansi) {
    const int chars = MultiByteToWideChar(CP_THREAD_ACP, 0, ansi, -1, nullptr, 0);
    if (chars <= 1) return std::wstring();
    std::vector<wchar_t> wide(chars);
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, ansi, -1, wide.data(), chars) != chars) return std::wstring();
    return std::wstring(wide.data());
}

std::string WideToAnsi(const std::wstring& wide) {
    const int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return std::string();
    std::vector<char> ansi(bytes);
    const int written =
        WideCharToMultiByte(CP_THREAD_ACP, 0, wide.c_str(), -1, ansi.data(), bytes, nullptr, nullptr);
    if (written != bytes) return std::string();
    return std::string(ansi.data());
}

// A folder of that name is no settings file: reading it would give every key its fallback.
bool FileExists(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    const win::UniqueFind find(FindFirstFileW(path.c_str(), &found));
    return find && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// An ANSI path as the ANSI file functions take it: in the system code page.
std::wstring PathFromAnsi(const char* path) {
    const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (units <= 1) return std::wstring();
    std::vector<wchar_t> wide(static_cast<size_t>(units));
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), units);
    return std::wstring(wide.data());
}

// The text settings in the form and order the save writes them.
std::vector<StoredText> TextForms() {
    const ExtraSettings& extra = _settings.extra;
    const PeerCastSettings& peerCast = _settings.peerCast;
    return {
        {"Extra", "_cPlayLog", extra._cPlayLog},
        {"Extra", "_cTitle", WideToAnsi(extra._cTitle)},
        {"Extra", "_cAuthor", WideToAnsi(extra._cAuthor)},
        {"Extra", "_cDescription", EscapeText(WideToAnsi(extra._cDescription))},
        {"Extra", "_cCopyright", WideToAnsi(extra._cCopyright)},
        {"Extra", "_cGenre", WideToAnsi(extra._cGenre)},
        {"Extra", "_cAlbum", WideToAnsi(extra._cAlbum)},
        {"Extra", "_cComposer", WideToAnsi(extra._cComposer)},
        {"Extra", "_cArchiveFolder", WideToAnsi(extra._cArchiveFolder)},
        {"PeerCast", "_cChannel", peerCast._cChannel},
        {"PeerCast", "_cFormatArtist", peerCast._cFormatArtist},
        {"PeerCast", "_cFormatTitle", peerCast._cFormatTitle},
        {"PeerCast", "_cFormatAlbum", peerCast._cFormatAlbum},
        {"PeerCast", "_cContact", peerCast._cContact},
        {"Script", "_cFormat", _settings.script._cFormat},
    };
}

LongTextValues g_longTexts;

void WriteTexts(IniFile& ini, const std::wstring& path, const char* section, const std::vector<StoredText>& forms) {
    for (const StoredText& form : forms) {
        if (std::strcmp(form.section, section) != 0 || g_longTexts.KeepStored(path, form)) continue;
        ini.WriteString(form.key, form.text.c_str());
    }
}

}  // namespace

void SetDefaultSettings() {
    ExtraSettings& extra = _settings.extra;
    extra._dwPort = 8008;
    extra._dwMaxClient = 5;
    extra._fPlayLog = TRUE;
    extra._cPlayLog.clear();
    extra._cTitle.clear();
    extra._cAuthor.clear();
    extra._cDescription.clear();
    extra._cCopyright.clear();
    extra._cGenre.clear();
    extra._cAlbum.clear();
    extra._cComposer.clear();
    extra._fArchive = FALSE;
    extra._cArchiveFolder = DefaultArchiveFolder();
    extra._fPortMapping = FALSE;

    PeerCastSettings& peerCast = _settings.peerCast;
    peerCast._fEnable = FALSE;
    peerCast._dwPort = 7144;
    peerCast._cChannel.clear();
    peerCast._cFormatArtist = "%ARTIST%";
    peerCast._cFormatTitle = "%TITLE%";
    peerCast._cFormatAlbum = "%ALBUM%";
    peerCast._fRelayChannel = FALSE;
    peerCast._cContact.clear();
    peerCast._fRelayIPv6 = FALSE;

    _settings.script._cFormat = "%ARTIST% - %TITLE%";
    _inputFormat.scriptEnabled = FALSE;
}

void LoadSettingsFile(const char* path, const char* defaultPlayLog) {
    LoadSettingsFile(PathFromAnsi(path), defaultPlayLog);
}

void SaveSettingsFile(const char* path) { SaveSettingsFile(PathFromAnsi(path)); }

void LoadSettingsFile(const std::wstring& path, const char* defaultPlayLog) {
    g_longTexts.Forget();
    // A first run has no file: everything keeps its default, and the log is written from the
    // first track on, as the sheet shows it switched on.
    if (path.empty() || !FileExists(path)) {
        if (_settings.extra._cPlayLog.empty()) _settings.extra._cPlayLog = defaultPlayLog;
        return;
    }

    IniFile ini;
    ini.SetFile(path);
    std::vector<const char*> cutKeys;
    // Reads one text setting, noting a value longer than the read could take.
    auto readText = [&](const char* key, const char* fallback) {
        const char* text = ini.ReadString(key, fallback);
        if (ini.LastStringWasCut()) cutKeys.push_back(key);
        return text;
    };

    AudioStreamSettings& audio = _encoderSettings.audio;
    ini.SetSection("AudioCodec");
    audio.bufferWindow = ini.ReadUInt("_dwBufferWindow", 0);
    audio.codecIndex = ini.ReadUInt("_dwCodecIndex", 0);
    audio.formatIndex = ini.ReadUInt("_dwFormatIndex", 0);
    audio.language = ini.ReadUInt("_dwLanguage", GetSystemDefaultLCID());

    ExtraSettings& extra = _settings.extra;
    ini.SetSection("Extra");
    extra._dwPort = ini.ReadUInt("_dwPort", 8008);
    extra._dwMaxClient = ini.ReadUInt("_dwMaxClient", 1);
    extra._cPlayLog = readText("_cPlayLog", "");
    extra._fPlayLog = ini.ReadBool("_fPlayLog", true);
    extra._fPortMapping = ini.ReadBool("_fPortMapping", false);
    extra._cTitle = AnsiToWide(readText("_cTitle", ""));
    extra._cAuthor = AnsiToWide(readText("_cAuthor", ""));
    // Copied out of the shared read buffer; the escapes are undone once everything is read.
    const std::string storedDescription = readText("_cDescription", "");
    extra._cCopyright = AnsiToWide(readText("_cCopyright", ""));
    extra._cGenre = AnsiToWide(readText("_cGenre", ""));
    extra._cAlbum = AnsiToWide(readText("_cAlbum", ""));
    extra._cComposer = AnsiToWide(readText("_cComposer", ""));
    extra._fArchive = ini.ReadBool("_fArchive", false);
    extra._cArchiveFolder = AnsiToWide(readText("_cArchiveFolder", ""));
    if (extra._cArchiveFolder.empty()) extra._cArchiveFolder = DefaultArchiveFolder();

    PeerCastSettings& peerCast = _settings.peerCast;
    ini.SetSection("PeerCast");
    peerCast._fEnable = ini.ReadBool("_fEnable", false);
    peerCast._dwPort = static_cast<DWORD>(ini.ReadInt("_dwPort", 7144));
    peerCast._cChannel = readText("_cChannel", "");
    peerCast._cFormatArtist = readText("_cFormatArtist", "%ARTIST%");
    peerCast._cFormatTitle = readText("_cFormatTitle", "%TITLE%");
    peerCast._cFormatAlbum = readText("_cFormatAlbum", "%ALBUM%");
    peerCast._fRelayChannel = ini.ReadBool("_fRelayChannel", false);
    peerCast._cContact = readText("_cContact", "");
    peerCast._fRelayIPv6 = ini.ReadBool("_fRelayIPv6", false);

    ScriptStreamSettings& script = _encoderSettings.script;
    ini.SetSection("Script");
    _inputFormat.scriptEnabled = ini.ReadBool("_fEnable", false);
    script.bitrate = ini.ReadUInt("_dwBitrate", 10000);
    script.bufferWindow = ini.ReadUInt("_dwBufferWindow", 5000);
    script.language = ini.ReadUInt("_dwLanguage", GetSystemDefaultLCID());
    _settings.script._cFormat = readText("_cFormat", "");

    extra._cDescription = AnsiToWide(UnescapeText(storedDescription).c_str());
    if (extra._cPlayLog.empty()) extra._cPlayLog = defaultPlayLog;

    // Key names repeat across sections, but every text key is in one section only.
    std::vector<StoredText> cutForms;
    for (const StoredText& form : TextForms())
        for (const char* key : cutKeys)
            if (std::strcmp(form.key, key) == 0) cutForms.push_back(form);
    g_longTexts.Remember(path, cutForms);
}

void SaveSettingsFile(const std::wstring& path) {
    const ExtraSettings& extra = _settings.extra;
    const std::vector<StoredText> texts = TextForms();

    IniFile ini;
    ini.SetFile(path);

    const AudioStreamSettings& audio = _encoderSettings.audio;
    ini.SetSection("AudioCodec");
    ini.WriteUInt("_dwBufferWindow", audio.bufferWindow);
    ini.WriteUInt("_dwCodecIndex", audio.codecIndex);
    ini.WriteUInt("_dwFormatIndex", audio.formatIndex);
    ini.WriteUInt("_dwLanguage", audio.language);

    ini.SetSection("Extra");
    ini.WriteUInt("_dwPort", extra._dwPort);
    ini.WriteUInt("_dwMaxClient", extra._dwMaxClient);
    ini.WriteBool("_fPlayLog", extra._fPlayLog != FALSE);
    ini.WriteBool("_fArchive", extra._fArchive != FALSE);
    ini.WriteBool("_fPortMapping", extra._fPortMapping != FALSE);
    WriteTexts(ini, path, "Extra", texts);

    const PeerCastSettings& peerCast = _settings.peerCast;
    ini.SetSection("PeerCast");
    ini.WriteBool("_fEnable", peerCast._fEnable != FALSE);
    ini.WriteUInt("_dwPort", peerCast._dwPort);
    ini.WriteBool("_fRelayChannel", peerCast._fRelayChannel != FALSE);
    ini.WriteBool("_fRelayIPv6", peerCast._fRelayIPv6 != FALSE);
    WriteTexts(ini, path, "PeerCast", texts);

    const ScriptStreamSettings& script = _encoderSettings.script;
    ini.SetSection("Script");
    ini.WriteBool("_fEnable", _inputFormat.scriptEnabled != FALSE);
    ini.WriteUInt("_dwBitrate", script.bitrate);
    ini.WriteUInt("_dwBufferWindow", script.bufferWindow);
    ini.WriteUInt("_dwLanguage", script.language);
    WriteTexts(ini, path, "Script", texts);
}

std::wstring PluginFolder() {
    // The longest path the system knows; a name cut at the buffer's end may not be terminated.
    std::vector<wchar_t> module(32768);
    const DWORD length = GetModuleFileNameW(PluginInstance(), module.data(), static_cast<DWORD>(module.size()));
    std::wstring path(module.data(), length < module.size() ? length : 0);
    const size_t separator = path.find_last_of(L"\\/");
    path.erase(separator == std::wstring::npos ? 0 : separator + 1);
    return path;
}

std::string PathBesidePlugin(const char* name) {
    char module[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(PluginInstance(), module, MAX_PATH);
    // A name cut at MAX_PATH may not be terminated.
    std::string path(module, length < MAX_PATH ? length : MAX_PATH - 1);
    const size_t separator = path.find_last_of("\\/");
    path.erase(separator == std::string::npos ? 0 : separator + 1);
    return path + name;
}

namespace {

// Decided once at the load and kept for the saves of the same plug-in: a player that no longer
// answers while it shuts down must not send the last save to a folder that refuses it.
std::wstring g_locatedFor;
SettingsFiles g_files;

const SettingsFiles& CurrentSettingsFiles(bool locateAgain) {
    const std::wstring folder = PluginFolder();
    if (locateAgain || folder != g_locatedFor) {
        g_files = LocateSettingsFiles(folder, _hwndHost);
        g_locatedFor = folder;
    }
    return g_files;
}

}  // namespace

void LoadSettings() {
    const SettingsFiles& files = CurrentSettingsFiles(true);
    LoadSettingsFile(files.readPath, files.defaultPlayLog.c_str());
    std::string& playLog = _settings.extra._cPlayLog;
    if (!files.unwritablePlayLog.empty() && lstrcmpiA(playLog.c_str(), files.unwritablePlayLog.c_str()) == 0)
        playLog = files.defaultPlayLog;
}

void SaveSettings() {
    const SettingsFiles& files = CurrentSettingsFiles(false);
    // No folder takes the settings: they live in memory until the player quits.
    if (files.writePath.empty()) return;
    SaveSettingsFile(files.writePath);
    // Once the player's folder holds the settings, the file left beside the DLL is never read
    // again, even after the new file is deleted.
    const std::wstring beside = PluginFolder() + PathFromAnsi(kSettingsFileName);
    if (lstrcmpiW(files.writePath.c_str(), beside.c_str()) != 0 && FileExists(files.writePath) && FileExists(beside))
        RecordSettingsMoved(beside);
}

bool SettingsHaveNoHome() { return !g_locatedFor.empty() && g_files.writePath.empty(); }

}  // namespace ombrel
