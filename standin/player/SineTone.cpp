#include "standin/player/SineTone.h"

#include <cmath>

namespace standin {
namespace {

constexpr double kPi = 3.14159265358979323846;

void PutSample(std::vector<uint8_t>& out, double value, uint16_t bits) {
    if (bits == 8) {
        out.push_back(uint8_t(std::lround(128.0 + value * 127.0)));
        return;
    }
    const double full = std::ldexp(1.0, bits - 1) - 1.0;
    const int64_t v = std::llround(value * full);
    for (uint16_t b = 0; b < bits; b += 8) out.push_back(uint8_t(uint64_t(v) >> b));
}

}  // namespace

std::vector<uint8_t> SynthesizeSine(const WavFormat& format, double frequency, uint32_t frames) {
    std::vector<uint8_t> out;
    out.reserve(size_t(frames) * format.BlockAlign());
    for (uint32_t i = 0; i < frames; ++i) {
        const double phase = 2.0 * kPi * frequency * i / format.sampleRate;
        for (uint16_t c = 0; c < format.channels; ++c)
            PutSample(out, 0.5 * std::sin(phase + c * kPi / 2.0), format.bitsPerSample);
    }
    return out;
}

}  // namespace standin
