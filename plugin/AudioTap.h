// The audio thread's side of a broadcast: every PCM block into the running encoder.
#pragma once

#include <windows.h>

namespace ombrel {

// Audio thread, with a block ModifySamples has checked. While broadcasting: a block whose
// format differs from the input format's stores its format there and changes the encoder's
// input first; then the block is written. Never blocks, allocates nothing; results ignored.
void WriteBlockToEncoder(const short* samples, int count, int bitsPerSample, int channels,
                         int sampleRate) noexcept;

}  // namespace ombrel
