// The requests the main thread makes of the audio thread (pause, next, stop), and the waits
// through which the audio thread notices them promptly.
#pragma once

#include <windows.h>

#include "standin/player/Pacer.h"
#include "win/CriticalSection.h"
#include "win/UniqueAny.h"

namespace standin {

enum class WaitOutcome { Due, Next, Stop };

class PlaybackControl {
public:
    PlaybackControl();

    void Reset();  // before a new audio thread starts
    void RequestStop();
    void RequestNext();
    void SetPaused(bool paused);

    // Audio thread: waits until the block at framePosition is due, sitting out pauses.
    WaitOutcome WaitForBlock(Pacer& pacer, uint64_t framePosition);

    // The main window has announced the track the audio thread just started.
    void SignalAnnounced();
    // Audio thread: waits for that, so a track is never fed before the plug-in could hear of it
    // and the position never runs ahead of the announcement. Due, or Stop.
    WaitOutcome WaitForAnnouncement();

private:
    struct Flags {
        bool stop = false;
        bool next = false;
        bool paused = false;
    };
    Flags Read();

    win::CriticalSection lock_;
    Flags flags_;
    win::UniqueEvent wake_;       // auto-reset, set on every request
    win::UniqueEvent announced_;  // auto-reset
};

}  // namespace standin
