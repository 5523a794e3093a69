// The PCM the soak run and the benchmark feed: 16-bit stereo in which frame n carries a
// triangle wave on each channel, the right a quarter period behind the left, stepping by one
// per frame. Resampling (the runtime stand-in converts other rates to the stream's) keeps
// every step between frames at 2 or less, so a listener tells a gap or a repeated block by a
// larger step: near one channel's turning point the other is far from its own.
#pragma once

#include <cstdint>

namespace ombrel::test {

constexpr uint32_t kTrianglePeriod = 2 * 65535;  // frames
constexpr uint32_t kChannelOffset = 32768;       // the right channel's lag, in frames
constexpr int kMaxStep = 2;                      // largest step a good stream shows

inline int16_t Triangle(uint64_t frame) {
    const uint32_t p = static_cast<uint32_t>(frame % kTrianglePeriod);
    const int32_t rise = p <= 65535 ? static_cast<int32_t>(p) : static_cast<int32_t>(kTrianglePeriod - p);
    return static_cast<int16_t>(rise - 32768);
}

// frames interleaved stereo frames starting at stream frame first.
inline void FillPattern(int16_t* out, uint64_t first, int frames) {
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = Triangle(first + i);
        out[2 * i + 1] = Triangle(first + i + kChannelOffset);
    }
}

}  // namespace ombrel::test
