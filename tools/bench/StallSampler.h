// Where the audio thread spends its long calls. While a call has run longer than a threshold,
// a thread of its own suspends the audio thread once, reads its instruction pointer and frame
// chain, and lets it go on. Nothing is allocated while the audio thread is held: it may own
// the heap's lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "win/UniqueAny.h"

namespace ombrel::test::bench {

class StallSampler {
public:
    explicit StallSampler(double thresholdUs);
    ~StallSampler() { Stop(); }
    StallSampler(const StallSampler&) = delete;
    StallSampler& operator=(const StallSampler&) = delete;

    // Audio thread: samples this thread from now on.
    void AttachCurrentThread();
    void Stop();

    // Audio thread, around each call.
    void Enter(int64_t now) { callStart_ = now; }
    void Leave() { callStart_ = 0; }

    int Samples() const { return count_; }
    // The most frequent chains (module+offset, innermost first) with their sample counts.
    std::vector<std::pair<int, std::string>> Top(size_t chains) const;

private:
    static constexpr int kMaxSamples = 4000;
    static constexpr int kMaxFrames = 10;
    struct Sample {
        DWORD frames[kMaxFrames];
        int count;
    };
    static DWORD WINAPI Main(void* self);
    void Run();

    const int64_t threshold_;
    std::atomic<int64_t> callStart_{0};
    std::atomic<bool> stop_{false};
    win::UniqueThread audio_;
    win::UniqueThread thread_;
    std::vector<Sample> samples_;
    int count_ = 0;
};

}  // namespace ombrel::test::bench
