// The player's audio thread: plays the playlist from a position, hands every block of up to
// 576 frames to ModifySamples, and tells the main window when a track starts or the list ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "standin/player/DspHost.h"
#include "standin/player/PlaybackControl.h"
#include "standin/player/PlaybackState.h"
#include "standin/player/Playlist.h"
#include "standin/player/Statistics.h"
#include "win/UniqueAny.h"

namespace standin {

constexpr uint32_t kBlockFrames = 576;

struct AudioSettings {
    bool realtime = true;
    bool loop = false;
    bool verify = false;
};

class AudioThread {
public:
    AudioThread(const Playlist& playlist, DspHost& host, Statistics& stats, PlaybackState& state,
                HWND mainWindow);
    ~AudioThread() { Stop(); }
    AudioThread(const AudioThread&) = delete;
    AudioThread& operator=(const AudioThread&) = delete;

    bool Start(int position, const AudioSettings& settings);
    // Asks the thread to end and joins it, still answering messages sent to this thread.
    void Stop();
    bool IsRunning() const { return bool(thread_); }
    DWORD ThreadId() const { return threadId_; }

    void SetPaused(bool paused) { control_.SetPaused(paused); }
    void Next() { control_.RequestNext(); }
    // Main thread, once the track the thread posted about has been announced.
    void TrackAnnounced() { control_.SignalAnnounced(); }
    // Each Start gets a new number; the track-started message carries it in lParam, so
    // messages from an earlier run are told apart.
    LPARAM Generation() const { return generation_; }

private:
    static DWORD WINAPI Entry(void* self);
    void Run();
    enum class TrackEnd { Finished, Next, Stop, Unreadable };
    TrackEnd PlayTrack(int index, Pacer& pacer, std::vector<uint8_t>& block,
                       class BlockFeeder& feeder);

    const Playlist& playlist_;
    DspHost& host_;
    Statistics& stats_;
    PlaybackState& state_;
    HWND mainWindow_;
    AudioSettings settings_;
    int startPosition_ = 0;
    PlaybackControl control_;
    win::UniqueThread thread_;
    DWORD threadId_ = 0;
    LPARAM generation_ = 0;
};

}  // namespace standin
