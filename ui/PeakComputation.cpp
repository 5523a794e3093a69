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

LONG Magnitude16(const unsigned char* sample) noexcept {
    int16_t value;
    std::memcpy(&value, sample, sizeof(value));
    const LONG wide = value;
    return wide < 0 ? -wide : wide;
}

// 8-bit samples are read as unsigned bytes, not re-centred on 128, and scaled to 16 bits.
LONG Scale8(unsigned char greatest) noexcept { return static_cast<LONG>(greatest) * 32767 / 255; }

Peaks Peaks16(const unsigned char* bytes, size_t frames, int channels) noexcept {
    LONG left = 0;
    LONG right = 0;
    if (channels == 2) {
        for (size_t i = 0; i < frames; ++i, bytes += 4) {
            const LONG l = Magnitude16(bytes);
            const LONG r = Magnitude16(bytes + 2);
            if (l > left) left = l;
            if (r > right) right = r;
        }
        return {left, right};
    }
    for (size_t i = 0; i < frames; ++i, bytes += 2) {
        const LONG m = Magnitude16(bytes);
        if (m > left) left = m;
    }
    return {left, left};
}

Peaks Peaks8(const unsigned char* bytes, size_t frames, int channels) noexcept {
    unsigned char left = 0;
    unsigned char right = 0;
    if (channels == 2) {
        for (size_t i = 0; i < frames; ++i, bytes += 2) {
            if (bytes[0] > left) left = bytes[0];
            if (bytes[1] > right) right = bytes[1];
        }
        return {Scale8(left), Scale8(right)};
    }
    for (size_t i = 0; i < frames; ++i) {
        if (bytes[i] > left) left = bytes[i];
    }
    return {Scale8(left), Scale8(left)};
}

}  // namespace

// Each call replaces both peaks with this block's. A block that tells nothing leaves them as
// they are: no frames (or a negative count), no samples, or a width or channel count the
// meter does not read (anything but 8 or 16 bits, 1 or 2 channels).
void ComputePeaks(const void* samples, int frames, int bitsPerSample, int channels) noexcept {
    if (samples == nullptr || frames <= 0) return;
    if (channels != 1 && channels != 2) return;
    const auto* bytes = static_cast<const unsigned char*>(samples);
    const auto count = static_cast<size_t>(frames);
    Peaks peaks{};
    if (bitsPerSample == 16) {
        peaks = Peaks16(bytes, count, channels);
    } else if (bitsPerSample == 8) {
        peaks = Peaks8(bytes, count, channels);
    } else {
        return;
    }
    _peakLevels.left.store(peaks.left, std::memory_order_relaxed);
    _peakLevels.right.store(peaks.right, std::memory_order_relaxed);
}

}  // namespace ombrel
