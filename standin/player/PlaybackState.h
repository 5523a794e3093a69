// What the main thread and the audio thread both see: the play state answered to request 104
// and the playlist position answered to request 125.
#pragma once

#include <atomic>

namespace standin {

enum class PlayState : int { Stopped = 0, Playing = 1, Paused = 3 };  // request 104's answers

struct PlaybackState {
    std::atomic<PlayState> state{PlayState::Stopped};
    std::atomic<int> position{0};
};

}  // namespace standin
