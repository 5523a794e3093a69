// The PCM layout of a WAV file, as the player hands it to DSP plug-ins.
#pragma once

#include <cstdint>
#include <string>

namespace standin {

// The format tags a PCM file may carry, and the extensible format's PCM subtype
// (KSDATAFORMAT_SUBTYPE_PCM, {00000001-0000-0010-8000-00AA00389B71}).
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint8_t kPcmSubtype[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                     0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

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
