// Sine tones in any playable PCM layout, stored as the file stores them.
#pragma once

#include <cstdint>
#include <vector>

#include "standin/player/WavFormat.h"

namespace standin {

// Every channel carries the tone at half scale; channel c is shifted by c quarter periods
// so that channel mix-ups show in the samples.
std::vector<uint8_t> SynthesizeSine(const WavFormat& format, double frequency, uint32_t frames);

}  // namespace standin
