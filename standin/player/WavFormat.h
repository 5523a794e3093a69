// The PCM layout of a WAV file, as the player hands it to DSP plug-ins.
#pragma once

#include <cstdint>
#include <string>

namespace standin {

struct WavFormat {
    uint32_t sampleRate = 44100;
    uint16_t channels = 2;
    uint16_t bitsPerSample = 16;

    uint32_t BlockAlign() const { return uint32_t(channels) * bitsPerSample / 8; }
    bool operator==(const WavFormat& o) const {
        return sampleRate == o.sampleRate && channels == o.channels &&
               bitsPerSample == o.bitsPerSample;
    }
    bool operator!=(const WavFormat& o) const { return !(*this == o); }
    bool operator<(const WavFormat& o) const {
        if (sampleRate != o.sampleRate) return sampleRate < o.sampleRate;
        if (channels != o.channels) return channels < o.channels;
        return bitsPerSample < o.bitsPerSample;
    }
};

// True for the layouts the stand-in plays: 8/16/24/32-bit integer PCM, 1 to 8 channels.
bool IsPlayableFormat(const WavFormat& format);

// "44100 Hz 16-bit 2 ch", for logs and test messages.
std::string Describe(const WavFormat& format);

}  // namespace standin
