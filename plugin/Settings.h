// The plug-in's persistent configuration, kept in "dsp_ombrel.ini" beside the DLL (or in the
// player's settings folder when Windows refuses writes beside the DLL).
//
// The AudioCodec numbers live in _encoderSettings.audio, the Script numbers in
// _encoderSettings.script and the Script switch is _inputFormat.scriptEnabled (PluginState.h):
// those records go to the encoder as they are. Everything else is here.
#pragma once

#include <windows.h>

#include <string>

namespace ombrel {

struct ExtraSettings {
    DWORD _dwPort;
    DWORD _dwMaxClient;
    BOOL _fPlayLog;
    std::string _cPlayLog;  // ANSI path
    // Content attributes of the stream.
    std::wstring _cTitle;
    std::wstring _cAuthor;
    std::wstring _cDescription;  // may hold line breaks and tabs; stored escaped
    std::wstring _cCopyright;
    std::wstring _cGenre;
    std::wstring _cAlbum;
    std::wstring _cComposer;
    // Records each broadcast to its own file in _cArchiveFolder (Recording.h).
    BOOL _fArchive;
    std::wstring _cArchiveFolder;
    // Maps _dwPort on the router by UPnP while broadcasting.
    BOOL _fPortMapping;
};

struct PeerCastSettings {
    BOOL _fEnable;
    DWORD _dwPort;
    std::string _cChannel;
    // Tag templates (ANSI) for what is sent to the node.
    std::string _cFormatArtist;
    std::string _cFormatTitle;
    std::string _cFormatAlbum;
    // Creates the relay channel on the node at each start and ends it at the stop.
    BOOL _fRelayChannel;
    std::string _cContact;  // the channel's contact URL (ANSI)
    // The relay channel goes on PeerCast's IPv6 network (nodes that have one).
    BOOL _fRelayIPv6;
};

struct ScriptSettings {
    std::string _cFormat;  // tag template of each title script command
};

struct Settings {
    ExtraSettings extra;
    PeerCastSettings peerCast;
    ScriptSettings script;
};

extern Settings _settings;

constexpr char kSettingsFileName[] = "dsp_ombrel.ini";
constexpr char kDefaultPlayLogName[] = "dsp_ombrel_log.txt";

// Gives every setting, the encoder-held ones excepted, its built-in default (Init).
void SetDefaultSettings();

// Reads and writes the file beside the plug-in's DLL, or, where that folder refuses writes, the
// one in the player's settings folder (SettingsLocation.h).
void LoadSettings();
void SaveSettings();

// The same against an explicit file; defaultPlayLog is what an empty _cPlayLog becomes. An ANSI
// path is taken in the system code page.
void LoadSettingsFile(const std::wstring& path, const char* defaultPlayLog);
void SaveSettingsFile(const std::wstring& path);
void LoadSettingsFile(const char* path, const char* defaultPlayLog);
void SaveSettingsFile(const char* path);

// Whether no folder takes the settings (neither the DLL's nor the player's): they then live in
// memory for this run, and the main window says so.
bool SettingsHaveNoHome();

// The folder of the plug-in's DLL, ending in a separator.
std::wstring PluginFolder();

// "<folder of the plug-in's DLL>\name".
std::string PathBesidePlugin(const char* name);

}  // namespace ombrel
