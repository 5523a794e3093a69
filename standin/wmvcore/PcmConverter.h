// PCM from a writer input's format to its stream's format: channel mix or duplication, bit
// depth and sample rate (linear interpolation, continuous across calls). Identical formats
// pass through bit for bit.
#pragma once

#include "encoder/WmSdk.h"

#include <nserror.h>

#include <vector>

namespace wmstandin {

// Uncompressed integer PCM of 8, 16, 24 or 32 bits, 1 to 8 channels, a rate above 0 and a
// consistent block alignment.
bool IsSupportedPcm(const WAVEFORMATEX& format) noexcept;

class PcmConverter {
public:
    // Both formats must satisfy IsSupportedPcm; the interpolation restarts.
    HRESULT Configure(const WAVEFORMATEX& input, const WAVEFORMATEX& output) noexcept;
    bool PassesThrough() const noexcept { return identical_; }
    // Appends the converted frames of whole input frames; a partial frame is E_INVALIDARG. Once
    // a block as long as this one has been converted, this allocates nothing but out's growth.
    HRESULT Convert(const BYTE* data, DWORD bytes, std::vector<BYTE>* out);

private:
    void Mix(const double* in, double* out) const noexcept;

    WAVEFORMATEX in_{};
    WAVEFORMATEX out_{};
    bool identical_ = false;
    bool configured_ = false;
    // The interpolation: the position of the next output frame, in input frames after the
    // previous block's last frame (prev_), which is index 0.
    double phase_ = 1.0;
    std::vector<double> prev_;
    std::vector<double> mixed_;  // a block's mixed frames, kept for the next block
};

}  // namespace wmstandin
