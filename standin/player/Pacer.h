// Real-time pacing of one track: block n is due at the track start plus its frame position,
// all measured on the high-resolution clock so sleeping late never accumulates into drift.
#pragma once

#include <windows.h>

#include <cstdint>

namespace standin {

class Pacer {
public:
    explicit Pacer(bool realtime);

    void StartTrack(uint32_t sampleRate);
    // Milliseconds to wait before the frame at framePosition is due; 0 when due or in fast pace.
    DWORD MillisecondsUntil(uint64_t framePosition) const;
    // A pause moves the track start forward by its length.
    void PauseBegan();
    void PauseEnded();

private:
    static int64_t Now();

    bool realtime_;
    int64_t frequency_ = 1;
    int64_t start_ = 0;
    int64_t pausedAt_ = 0;
    uint32_t sampleRate_ = 1;
};

}  // namespace standin
