#include "standin/player/WavFormat.h"

namespace standin {

bool IsPlayableFormat(const WavFormat& format) {
    const bool bitsOk = format.bitsPerSample == 8 || format.bitsPerSample == 16 ||
                        format.bitsPerSample == 24 || format.bitsPerSample == 32;
    return bitsOk && format.channels >= 1 && format.channels <= 8 && format.sampleRate >= 1 &&
           format.sampleRate <= 768000;
}

std::string Describe(const WavFormat& format) {
    return std::to_string(format.sampleRate) + " Hz " + std::to_string(format.bitsPerSample) +
           "-bit " + std::to_string(format.channels) + " ch";
}

}  // namespace standin
