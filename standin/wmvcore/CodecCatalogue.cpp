#include "standin/wmvcore/CodecCatalogue.h"

#include <cwchar>

namespace wmstandin {

const std::vector<CodecEntry>& AudioCodecs() {
    // Every codec's first one-pass CBR format is 44.1 kHz stereo 16-bit, the player's usual PCM.
    static const std::vector<CodecEntry> codecs = {
        {L"Windows Media Audio Voice 9", false,
         {{44100, 2, 16}, {22050, 1, 16}, {16000, 1, 16}, {8000, 1, 16}},
         {}},
        {L"Windows Media Audio 9.2", true,
         {{44100, 2, 16}, {48000, 2, 16}, {32000, 2, 16}, {22050, 2, 16}, {44100, 1, 16}, {22050, 1, 8}},
         {{48000, 2, 16}, {44100, 1, 16}, {32000, 1, 16}}},
        {L"Windows Media Audio 9.2 Lossless", true,
         {{44100, 2, 16}, {48000, 2, 16}, {44100, 2, 24}, {48000, 2, 24}},
         {{96000, 2, 24}, {88200, 2, 24}, {48000, 6, 24}}},
        {L"Windows Media Audio 10 Professional", true,
         {{44100, 2, 16}, {48000, 2, 16}, {48000, 6, 16}, {44100, 6, 16}},
         {{48000, 2, 24}, {96000, 2, 24}, {44100, 6, 24}, {48000, 8, 24}}},
    };
    return codecs;
}

WAVEFORMATEX MakeWaveFormat(const PcmFormat& format) noexcept {
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = format.channels;
    wave.nSamplesPerSec = format.rate;
    wave.wBitsPerSample = format.bits;
    wave.nBlockAlign = static_cast<WORD>(format.channels * format.bits / 8);
    wave.nAvgBytesPerSec = format.rate * wave.nBlockAlign;
    wave.cbSize = 0;
    return wave;
}

std::wstring DescribePcm(const PcmFormat& format) {
    WCHAR channels[32];
    if (format.channels == 1)
        std::swprintf(channels, 32, L"mono");
    else if (format.channels == 2)
        std::swprintf(channels, 32, L"stereo");
    else
        std::swprintf(channels, 32, L"%u channels", static_cast<unsigned>(format.channels));
    const unsigned long long bitsPerSecond =
        static_cast<unsigned long long>(format.rate) * format.channels * format.bits;
    WCHAR text[96];
    std::swprintf(text, 96, L"%u kHz, %ls, %u-bit PCM (%llu kbps)", static_cast<unsigned>(format.rate / 1000),
                  channels, static_cast<unsigned>(format.bits), (bitsPerSecond + 500) / 1000);
    return text;
}

}  // namespace wmstandin
