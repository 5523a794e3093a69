#include "standin/player/Pacer.h"

namespace standin {

Pacer::Pacer(bool realtime) : realtime_(realtime) {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    frequency_ = f.QuadPart > 0 ? f.QuadPart : 1;
}

int64_t Pacer::Now() {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
}

void Pacer::StartTrack(uint32_t sampleRate) {
    sampleRate_ = sampleRate != 0 ? sampleRate : 1;
    start_ = Now();
}

DWORD Pacer::MillisecondsUntil(uint64_t framePosition) const {
    if (!realtime_) return 0;
    const int64_t due = start_ + int64_t(framePosition * uint64_t(frequency_) / sampleRate_);
    const int64_t ahead = due - Now();
    if (ahead <= 0) return 0;
    // Rounded up, so a wake-up never comes before the block is due.
    return DWORD((ahead * 1000 + frequency_ - 1) / frequency_);
}

void Pacer::PauseBegan() { pausedAt_ = Now(); }

void Pacer::PauseEnded() { start_ += Now() - pausedAt_; }

}  // namespace standin
