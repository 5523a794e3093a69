// The uncompressed PCM a writer's audio input takes, as the runtime's documentation gives it:
// every audio codec takes 8- or 16-bit PCM of one or two channels at any rate (the writer
// resamples and mixes to the stream's format); only the high-resolution streams of the
// Professional and Lossless codecs (more than two channels or more than 16 bits) also take
// their own high-resolution format, which must be described by a WAVEFORMATEXTENSIBLE (cbSize
// 22, PCM sub-format). Anything else is refused with NS_E_INVALID_INPUT_FORMAT.
#pragma once

#include "encoder/WmSdk.h"

#include <mmreg.h>

#include <vector>

namespace wmstandin {

// Integer PCM as a bare WAVEFORMATEX (cbSize 0), its block and byte rate derived.
WAVEFORMATEX PlainPcm(DWORD rate, WORD channels, WORD bits) noexcept;

// More than two channels or more than 16 bits per sample.
bool IsHighResolution(const WAVEFORMATEX& wave) noexcept;

// Checks the format block fed to an audio input whose stream has the format stream (PCM or
// WMA); on success *plain is the same PCM as a bare WAVEFORMATEX (cbSize 0), which is what the
// converter and the encoder read.
HRESULT CheckPcmInput(const WAVEFORMATEX& stream, const std::vector<BYTE>& format, WAVEFORMATEX* plain) noexcept;

// The formats GetInputFormat lists for such an input, each a whole format block: the stream's
// own high-resolution format first where it has one, then 16- and 8-bit stereo and mono at
// the stream's rate.
std::vector<std::vector<BYTE>> PcmInputFormats(const WAVEFORMATEX& stream);

}  // namespace wmstandin
