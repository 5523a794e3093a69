// The player's side of the soak run and the benchmark: the player stand-in's main window and
// plug-in host on the calling thread, which plays the player's main thread. It answers the
// plug-in's requests as a player that is playing a playlist of tagged tracks, while the caller
// feeds the audio itself (any thread, through ModifySamples).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "standin/player/DspHost.h"
#include "standin/player/PlayerWindow.h"

namespace ombrel::test::soak {

class PlayerHost final : private standin::PlayerWindowHandler {
public:
    explicit PlayerHost(const char* name);
    ~PlayerHost();  // Quit if still loaded, then the tracks and their folder go
    PlayerHost(const PlayerHost&) = delete;
    PlayerHost& operator=(const PlayerHost&) = delete;

    // Writes count short tagged WAV files ("Soak Artist n", "Soak Title n") into a fresh folder.
    bool WriteTracks(int count, std::string* error);
    int TrackCount() const { return static_cast<int>(tracks_.size()); }
    const std::string& Folder() const { return folder_; }

    // Init of the plug-in linked into this program, its main window owned by the player's.
    bool Init(std::string* error);
    // Quit, as the player does when it unloads the plug-in.
    void Quit();

    HWND Window() const { return window_.Handle(); }
    // The playing-file notification for track index, sent as the player sends it; the
    // playlist position follows.
    void Announce(int index);
    // A command of the plug-in's main window (the menu's and toolbar's ids); false while the
    // window is closed.
    bool Command(UINT id);
    // The main window's start command; a failed start's message box is read into box and
    // answered instead of waiting for a user. True when the plug-in broadcasts.
    bool StartBroadcast(std::string* box);
    // The player's "configure" of the plug-in: opens (or raises) the main window.
    void Config() { host_.Config(); }
    // Request 104's answer: playing (1) or stopped (0).
    void SetPlaying(bool playing) { playing_ = playing; }

    // Audio thread.
    int ModifySamples(void* samples, int frames, int bits, int channels, int rate) {
        return host_.ModifySamples(samples, frames, bits, channels, rate);
    }

private:
    LRESULT OnPlayerRequest(WPARAM wParam, LPARAM lParam) override;
    void OnTrackStarted(int, LPARAM) override {}
    void OnPlaylistEnded(LPARAM) override {}
    void OnCloseRequested() override {}

    std::string folder_;
    std::vector<std::string> tracks_;
    std::vector<std::string> titles_;
    std::atomic<int> position_{0};
    std::atomic<bool> playing_{true};
    standin::PlayerWindow window_;
    standin::DspHost host_;
};

// The plug-in's settings file beside this program: kept aside while a run changes it, and
// put back (or removed when there was none) when the run ends.
class SettingsFileGuard {
public:
    SettingsFileGuard();
    ~SettingsFileGuard();
    SettingsFileGuard(const SettingsFileGuard&) = delete;
    SettingsFileGuard& operator=(const SettingsFileGuard&) = delete;

private:
    std::string path_;
    bool existed_ = false;
    std::string contents_;
};

}  // namespace ombrel::test::soak
