#include "encoder/PcmConversion.h"

#include <cstdint>
#include <cstring>

namespace ombrel {
namespace {

// Where a channel goes in the fold to stereo.
enum class Speaker { kLeft, kRight, kCentre, kLowFrequency, kLeftSurround, kRightSurround, kBackCentre };

// The usual orders (WAVEFORMATEXTENSIBLE's default masks) for 3 to 8 channels.
constexpr Speaker kL = Speaker::kLeft, kR = Speaker::kRight, kC = Speaker::kCentre, kLfe = Speaker::kLowFrequency,
                  kLs = Speaker::kLeftSurround, kRs = Speaker::kRightSurround, kCs = Speaker::kBackCentre;
constexpr Speaker kOrders[kMaxPcmChannels + 1][kMaxPcmChannels] = {
    {}, {}, {},
    {kL, kR, kC},
    {kL, kR, kLs, kRs},
    {kL, kR, kC, kLs, kRs},
    {kL, kR, kC, kLfe, kLs, kRs},
    {kL, kR, kC, kLfe, kCs, kLs, kRs},
    {kL, kR, kC, kLfe, kLs, kRs, kLs, kRs},
};
constexpr DWORD kMasks[kMaxPcmChannels + 1] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};

constexpr INT32 kUnity = 65536;
constexpr INT32 kMinus3dB = 46341;  // 65536 / sqrt(2)

// One sample on a 24-bit scale. 32-bit samples lose their lowest byte here, by truncation.
inline INT32 Read24(const BYTE* p, INT32 bits) noexcept {
    switch (bits) {
        case 8:
            return (static_cast<INT32>(p[0]) - 128) * 65536;
        case 16:
            return static_cast<INT32>(static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8))) * 256;
        case 24:
            return static_cast<INT32>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                      static_cast<uint32_t>(p[2]) << 24) >> 8;
        default:
            return Read24(p + 1, 24);
    }
}

// A 24-bit-scale value to 16 bits by truncation (an arithmetic shift: it cannot overflow, and
// 16-bit audio carried in a wider container comes back bit for bit).
inline void Write16(INT32 value24, BYTE* p) noexcept {
    const INT32 v = value24 >> 8;
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}

}  // namespace

bool IsBroadcastablePcm(PcmLayout layout) noexcept {
    const INT32 b = layout.bits;
    return (b == 8 || b == 16 || b == 24 || b == 32) && layout.channels >= 1 && layout.channels <= kMaxPcmChannels;
}

bool IsStandardPcm(PcmLayout layout) noexcept {
    return (layout.bits == 8 || layout.bits == 16) && (layout.channels == 1 || layout.channels == 2);
}

DWORD DefaultChannelMask(INT32 channels) noexcept {
    return channels >= 1 && channels <= kMaxPcmChannels ? kMasks[channels] : 0;
}

PcmConversion::PcmConversion() noexcept : from_{2, 16}, to_{2, 16}, leftGain_{}, rightGain_{} {}

bool PcmConversion::Plan(PcmLayout from, PcmLayout to) noexcept {
    if (!IsBroadcastablePcm(from) || !IsBroadcastablePcm(to)) return false;
    const bool copy = from == to;
    const bool widthOnly = to.bits == 16 && to.channels == from.channels;
    const bool fold = to.bits == 16 && to.channels == 2 && from.channels > 2;
    if (!copy && !widthOnly && !fold) return false;
    from_ = from;
    to_ = to;
    std::memset(leftGain_, 0, sizeof(leftGain_));
    std::memset(rightGain_, 0, sizeof(rightGain_));
    if (!fold) return true;
    // Front channels at full level, centre and surrounds at -3 dB, the low-frequency channel
    // left out; then both sides scaled by the larger sum, which keeps the balance.
    INT64 leftSum = 0, rightSum = 0;
    INT32 left[kMaxPcmChannels] = {}, right[kMaxPcmChannels] = {};
    for (INT32 c = 0; c < from.channels; ++c) {
        switch (kOrders[from.channels][c]) {
            case Speaker::kLeft: left[c] = kUnity; break;
            case Speaker::kRight: right[c] = kUnity; break;
            case Speaker::kCentre:
            case Speaker::kBackCentre: left[c] = right[c] = kMinus3dB; break;
            case Speaker::kLeftSurround: left[c] = kMinus3dB; break;
            case Speaker::kRightSurround: right[c] = kMinus3dB; break;
            case Speaker::kLowFrequency: break;
        }
        leftSum += left[c];
        rightSum += right[c];
    }
    const INT64 norm = leftSum > rightSum ? leftSum : rightSum;
    for (INT32 c = 0; c < from.channels; ++c) {
        leftGain_[c] = static_cast<INT32>(static_cast<INT64>(left[c]) * kUnity / norm);
        rightGain_[c] = static_cast<INT32>(static_cast<INT64>(right[c]) * kUnity / norm);
    }
    return true;
}

void PcmConversion::Convert(const BYTE* in, INT32 frames, BYTE* out) const noexcept {
    if (frames <= 0) return;
    const INT32 inBytes = from_.bits / 8;
    const size_t inFrame = static_cast<size_t>(from_.channels) * inBytes;
    if (IsCopy()) {
        std::memcpy(out, in, static_cast<size_t>(frames) * inFrame);
        return;
    }
    if (to_.channels == from_.channels) {
        const size_t samples = static_cast<size_t>(frames) * from_.channels;
        for (size_t i = 0; i < samples; ++i, in += inBytes, out += 2) Write16(Read24(in, from_.bits), out);
        return;
    }
    for (INT32 f = 0; f < frames; ++f, in += inFrame, out += 4) {
        INT64 left = 0, right = 0;
        for (INT32 c = 0; c < from_.channels; ++c) {
            const INT64 v = Read24(in + c * inBytes, from_.bits);
            left += v * leftGain_[c];
            right += v * rightGain_[c];
        }
        // |sum| <= 2^23 * 65536: back on the 24-bit scale it is within range, floor included.
        Write16(static_cast<INT32>(left >> 16), out);
        Write16(static_cast<INT32>(right >> 16), out + 2);
    }
}

}  // namespace ombrel
