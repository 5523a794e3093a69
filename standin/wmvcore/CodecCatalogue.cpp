#include "standin/wmvcore/CodecCatalogue.h"

#include <cwchar>

#include "standin/wmvcore/WmaEncoder.h"

namespace wmstandin {
namespace {

std::vector<AudioFormat> Pcm(std::initializer_list<PcmFormat> formats) {
    std::vector<AudioFormat> out;
    for (const PcmFormat& format : formats) {
        const WAVEFORMATEX wave = MakeWaveFormat(format);
        const BYTE* bytes = reinterpret_cast<const BYTE*>(&wave);
        out.push_back({std::vector<BYTE>(bytes, bytes + sizeof(wave)), wave.nAvgBytesPerSec * 8});
    }
    return out;
}

// Highest bit rate first, as the runtime lists them; at each, 44.1 kHz before 48 kHz and stereo
// before mono. Mono only up to 64 kbps, where a broadcaster would choose it.
std::vector<AudioFormat> Wma() {
    static const DWORD kBitrates[] = {192000, 160000, 128000, 96000, 64000, 48000, 32000};
    std::vector<AudioFormat> out;
    for (DWORD bitrate : kBitrates) {
        for (WORD channels : {2, 1}) {
            if (channels == 1 && bitrate > 64000) continue;
            for (DWORD rate : {44100, 48000}) {
                WmaFormat format;
                if (DescribeWmaFormat(rate, channels, bitrate, &format)) out.push_back({format.wave, format.bitrate});
            }
        }
    }
    return out;
}

}  // namespace

const GUID kWmaV2Subtype = {0x00000161, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

const std::vector<CodecEntry>& AudioCodecs() {
    // The codecs keep their places, so codec indices saved in a settings file keep their names.
    static const std::vector<CodecEntry> codecs = {
        {L"Windows Media Audio Voice 9", false,
         Pcm({{44100, 2, 16}, {22050, 1, 16}, {16000, 1, 16}, {8000, 1, 16}}),
         {}},
        // The encoder has no VBR mode: the VBR enumeration lists nothing.
        {L"Windows Media Audio 9.2", true, Wma(), {}},
        {L"Windows Media Audio 9.2 Lossless", true,
         Pcm({{44100, 2, 16}, {48000, 2, 16}, {44100, 2, 24}, {48000, 2, 24}}),
         Pcm({{96000, 2, 24}, {88200, 2, 24}, {48000, 6, 24}})},
        {L"Windows Media Audio 10 Professional", true,
         Pcm({{44100, 2, 16}, {48000, 2, 16}, {48000, 6, 16}, {44100, 6, 16}}),
         Pcm({{48000, 2, 24}, {96000, 2, 24}, {44100, 6, 24}, {48000, 8, 24}})},
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

namespace {

std::wstring ChannelText(WORD count) {
    WCHAR channels[32];
    if (count == 1)
        std::swprintf(channels, 32, L"mono");
    else if (count == 2)
        std::swprintf(channels, 32, L"stereo");
    else
        std::swprintf(channels, 32, L"%u channels", static_cast<unsigned>(count));
    return channels;
}

}  // namespace

std::wstring DescribePcm(const PcmFormat& format) {
    const unsigned long long bitsPerSecond =
        static_cast<unsigned long long>(format.rate) * format.channels * format.bits;
    WCHAR text[96];
    std::swprintf(text, 96, L"%u kHz, %ls, %u-bit PCM (%llu kbps)", static_cast<unsigned>(format.rate / 1000),
                  ChannelText(format.channels).c_str(), static_cast<unsigned>(format.bits), (bitsPerSecond + 500) / 1000);
    return text;
}

std::wstring DescribeWma(const WAVEFORMATEX& format) {
    WCHAR text[96];
    std::swprintf(text, 96, L"%lu kbps, %u kHz, %ls 1-pass CBR",
                  static_cast<unsigned long>((format.nAvgBytesPerSec * 8 + 500) / 1000),
                  static_cast<unsigned>(format.nSamplesPerSec / 1000), ChannelText(format.nChannels).c_str());
    return text;
}

}  // namespace wmstandin
