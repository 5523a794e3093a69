// The player's PCM on its way to a writer input that does not take it as it is: wider samples
// to 16 bits, more than two channels folded down to stereo. A conversion is planned once, when
// the format is chosen, and then runs on the audio thread straight into the writer's sample:
// no allocation, no lock, nothing held between blocks.
#pragma once

#include <windows.h>

namespace ombrel {

// Interleaved integer PCM: 8-bit unsigned, 16-, 24- (packed) or 32-bit signed little-endian.
struct PcmLayout {
    INT32 channels;
    INT32 bits;
};

inline bool operator==(PcmLayout a, PcmLayout b) noexcept { return a.channels == b.channels && a.bits == b.bits; }

constexpr INT32 kMaxPcmChannels = 8;

// 8, 16, 24 or 32 bits and 1 to 8 channels: what the plug-in broadcasts.
bool IsBroadcastablePcm(PcmLayout layout) noexcept;
// At most 16 bits and at most two channels: what every audio input of the runtime takes.
bool IsStandardPcm(PcmLayout layout) noexcept;
// The speakers of the usual channel order for a count (WAVEFORMATEXTENSIBLE's dwChannelMask);
// the player says nothing of its channels beyond their number.
DWORD DefaultChannelMask(INT32 channels) noexcept;

class PcmConversion {
public:
    // The identity for 16-bit stereo.
    PcmConversion() noexcept;
    // A plan from one layout to another: the same (a copy), to 16 bits with the same channels,
    // or, from more than two channels, to 16-bit stereo. False for anything else.
    bool Plan(PcmLayout from, PcmLayout to) noexcept;

    bool IsCopy() const noexcept { return from_ == to_; }
    PcmLayout From() const noexcept { return from_; }
    PcmLayout To() const noexcept { return to_; }
    // Bytes of frames in the output layout.
    LONGLONG OutputBytes(INT32 frames) const noexcept {
        return static_cast<LONGLONG>(frames) * to_.channels * (to_.bits / 8);
    }
    // Converts frames whole frames; out holds OutputBytes(frames) bytes and does not overlap in.
    void Convert(const BYTE* in, INT32 frames, BYTE* out) const noexcept;

private:
    PcmLayout from_;
    PcmLayout to_;
    // Down-mix gains in 1/65536, normalised so that neither output's gains add up to more than
    // 65536: the fold can neither clip nor overflow, whatever the input.
    INT32 leftGain_[kMaxPcmChannels];
    INT32 rightGain_[kMaxPcmChannels];
};

}  // namespace ombrel
