// The player stand-in: the main window, the playlist, the audio thread and the DSP plug-in,
// behaving towards the plug-in as the player does. Create, use and destroy it on one thread,
// which then plays the player's main thread and must pump messages (see MessagePump.h).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "plugin/DspAbi.h"
#include "standin/player/AudioThread.h"
#include "standin/player/DspHost.h"
#include "standin/player/HostProfile.h"
#include "standin/player/MessagePump.h"
#include "standin/player/PlaybackState.h"
#include "standin/player/PlayerWindow.h"
#include "standin/player/Playlist.h"
#include "standin/player/Statistics.h"

namespace standin {

// Request 0's answer of the versions the stand-in plays: 2.95 knows only ANSI text; 5.666, the
// default, also answers 213, 1291 and 3026 in UTF-16 and announces each file with 13003 too.
constexpr unsigned kPlayerVersion295 = 0x2095;
constexpr unsigned kPlayerVersion5666 = 0x5066;
// From 5.0 the player keeps its settings in a folder of their own and names it on request 335; a
// 2.9x player names its install folder. From 5.58 it also names the folder in UTF-16 (1335).
constexpr unsigned kFirstSettingsFolderPlayer = 0x5000;
constexpr unsigned kFirstWideSettingsFolderPlayer = 0x5058;

struct PlayerOptions {
    std::vector<std::string> files;
    std::vector<std::wstring> wideFiles;  // after files; names outside the system code page
    unsigned version = kPlayerVersion5666;
    HostKind host = HostKind::Standard;  // what it answers and on which threads (HostProfile.h)
    bool realtime = true;     // false: hand on blocks as fast as possible
    bool loop = false;        // start the playlist again after its last track
    bool postNotify = false;  // announce tracks with PostMessage instead of SendMessage
    bool verify = false;      // check that ModifySamples leaves every block as it was
    // The folder request 335 names, created if missing; empty: %APPDATA%\Winamp, as the player's
    // per-user installation keeps its settings.
    std::string settingsFolder;
    std::wstring wideSettingsFolder;  // instead of settingsFolder: a name outside the code page
    // What a 2.9x player answers to 335: its install folder; empty: the executable's folder.
    std::string installFolder;
    std::string windowTitle = "Ombrel player stand-in";
};

class Player final : private PlayerWindowHandler {
public:
    explicit Player(const PlayerOptions& options);
    ~Player();  // stops playback, quits the plug-in, destroys the window
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    HWND Window() const { return window_.Handle(); }
    // The window the plug-in is given as hwndParent (the main window, or the host kind's own).
    HWND PluginParent() const { return hostWindow_.PluginParent(); }
    HostWindow& Host() { return hostWindow_; }
    const Playlist& GetPlaylist() const { return playlist_; }

    // Fill in the module and call Init here; the DLL's module 0, or a module a test built.
    bool LoadPlugin(const std::string& dllPath, std::string* error);
    bool AttachModule(DspModule* module, std::string* error);
    const DspHost& Plugin() const { return host_; }
    void ConfigPlugin() { host_.Config(); }
    void UnloadPlugin();  // stops playback, Quit, FreeLibrary

    void Play();  // from the current position, or resumes
    void Pause();
    void Resume();
    void Stop();  // joins the audio thread
    void Next();
    void SetPosition(int index);  // while stopped: where Play starts

    PlayState State() const { return state_.state.load(); }
    int Position() const { return state_.position.load(); }
    bool PlaylistEnded() const { return playlistEnded_; }
    bool CloseRequested() const { return closeRequested_; }
    bool AudioThreadRunning() const { return audio_.IsRunning(); }
    DWORD AudioThreadId() const { return audio_.ThreadId(); }
    StatisticsSnapshot Stats() const { return stats_.Snapshot(); }

    // The player's settings folder, without a final separator. Request 1335 answers it (5.58 and
    // later); 335 answers it as the player converts its paths (WinampAnsiPath), which is empty
    // under code page 65001, or a 2.9x player's install folder.
    const std::wstring& SettingsFolder() const { return settingsFolder_; }
    const std::string& AnsiSettingsFolder() const { return ansiSettingsFolder_; }
    // Test knob: request 212 answers null for every position.
    void SetTitleAnswersNull(bool null) { nullTitles_ = null; }
    // Receives one line per event, on this thread.
    void SetEventLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

    PumpResult PumpUntilPlaylistEnds(DWORD timeoutMs);

private:
    LRESULT OnPlayerRequest(WPARAM wParam, LPARAM lParam) override;
    LRESULT StandardAnswer(WPARAM wParam, LPARAM lParam);
    LRESULT OnUnicodeRequest(WPARAM wParam, LPARAM lParam);
    bool HasUnicode() const;
    void OnTrackStarted(int index, LPARAM run) override;
    void OnPlaylistEnded(LPARAM run) override;
    void OnCloseRequested() override { closeRequested_ = true; }
    void Log(const std::string& line);

    PlayerOptions options_;
    Playlist playlist_;
    Statistics stats_;
    PlaybackState state_;
    DspHost host_;
    HostAnswers answers_;
    PlayerWindow window_;
    HostWindow hostWindow_;
    // What 3003 carries for each entry: a 5.3 or later player converts the UTF-16 path as Winamp does.
    std::vector<std::string> announcedPaths_;
    AudioThread audio_;
    bool playlistEnded_ = false;
    bool closeRequested_ = false;
    bool nullTitles_ = false;
    std::wstring settingsFolder_;
    std::string ansiSettingsFolder_;
    std::function<void(const std::string&)> log_;
};

}  // namespace standin
