// The peaks of each PCM block, on the player's audio thread: no allocation, no lock, two
// atomic words that the meter thread reads.
#include <cstdint>
#include <cstring>

#include "ui/LevelMeter.h"

namespace ombrel {

PeakLevels _peakLevels;

namespace {

struct Peaks {
    LONG left;
    LONG right;
};

// A sample's magnitude on the 16-bit scale (0 to 32768). 8-bit samples are read as unsigned
// bytes, not re-centred on 128, and scaled to 16 bits; wider ones keep their top 16 bits, so
// full scale is 32768 in every width.
template <int Bits>
LONG Magnitude(const unsigned char* sample) noexcept {
    if constexpr (Bits == 8) {
        return static_cast<LONG>(sample[0]) * 32767 / 255;
    } else if constexpr (Bits == 16) {
        int16_t value;
        std::memcpy(&value, sample, sizeof(value));
        const LONG wide = value;
        return wide < 0 ? -wide : wide;
    } else if constexpr (Bits == 24) {
        const int32_t value = static_cast<int32_t>(static_cast<uint32_t>(sample[0]) << 8 |
                                                   static_cast<uint32_t>(sample[1]) << 16 |
                                                   static_cast<uint32_t>(sample[2]) << 24) >> 8;
        return static_cast<LONG>((value < 0 ? -static_cast<int64_t>(value) : value) >> 8);
    } else {
        int32_t value;
        std::memcpy(&value, sample, sizeof(value));
        return static_cast<LONG>((value < 0 ? -static_cast<int64_t>(value) : value) >> 16);
    }
}

// The first two channels of each frame (one channel: both bars from it); the rest unread.
template <int Bits>
Peaks PeaksOf(const unsigned char* bytes, size_t frames, int channels) noexcept {
    constexpr size_t kSampleBytes = Bits / 8;
    const size_t frameBytes = kSampleBytes * static_cast<size_t>(channels);
    LONG left = 0;
    LONG right = 0;
    for (size_t i = 0; i < frames; ++i, bytes += frameBytes) {
        const LONG l = Magnitude<Bits>(bytes);
        if (l > left) left = l;
        if (channels >= 2) {
            const LONG r = Magnitude<Bits>(bytes + kSampleBytes);
            if (r > right) right = r;
        }
    }
    return {left, channels >= 2 ? right : left};
}

}  // namespace

// Each call replaces both peaks with this block's. A block that tells nothing leaves them as
// they are: no frames (or a negative count), no samples, no channels, or a width other than
// 8, 16, 24 or 32 bits.
void ComputePeaks(const void* samples, int frames, int bitsPerSample, int channels) noexcept {
    if (samples == nullptr || frames <= 0 || channels <= 0) return;
    const auto* bytes = static_cast<const unsigned char*>(samples);
    const auto count = static_cast<size_t>(frames);
    Peaks peaks{};
    switch (bitsPerSample) {
        case 8: peaks = PeaksOf<8>(bytes, count, channels); break;
        case 16: peaks = PeaksOf<16>(bytes, count, channels); break;
        case 24: peaks = PeaksOf<24>(bytes, count, channels); break;
        case 32: peaks = PeaksOf<32>(bytes, count, channels); break;
        default: return;
    }
    _peakLevels.left.store(peaks.left, std::memory_order_relaxed);
    _peakLevels.right.store(peaks.right, std::memory_order_relaxed);
}

}  // namespace ombrel
