#include "standin/wmvcore/InputFormats.h"

#include <nserror.h>

#include <cstring>

namespace wmstandin {
namespace {

static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40, "the packed 40-byte record");
constexpr WORD kExtensibleExtra = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

bool IsStandardShape(WORD channels, WORD bits) noexcept {
    return (bits == 8 || bits == 16) && (channels == 1 || channels == 2);
}

bool HasConsistentLayout(const WAVEFORMATEX& wave) noexcept {
    if (wave.nChannels == 0 || wave.wBitsPerSample == 0 || wave.wBitsPerSample % 8) return false;
    if (wave.nSamplesPerSec == 0 || wave.nSamplesPerSec > 1000000) return false;
    if (wave.nBlockAlign != wave.nChannels * wave.wBitsPerSample / 8) return false;
    return wave.nAvgBytesPerSec == wave.nSamplesPerSec * wave.nBlockAlign;
}

unsigned BitCount(DWORD mask) noexcept {
    unsigned count = 0;
    for (; mask; mask &= mask - 1) ++count;
    return count;
}

std::vector<BYTE> Bytes(const void* data, size_t size) {
    const BYTE* bytes = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(bytes, bytes + size);
}

}  // namespace

bool IsHighResolution(const WAVEFORMATEX& wave) noexcept { return wave.nChannels > 2 || wave.wBitsPerSample > 16; }

HRESULT CheckPcmInput(const WAVEFORMATEX& stream, const std::vector<BYTE>& format, WAVEFORMATEX* plain) noexcept {
    // A 16-byte PCMWAVEFORMAT counts as a WAVEFORMATEX without extra bytes.
    if (format.size() < 16) return NS_E_INVALID_INPUT_FORMAT;
    WAVEFORMATEX wave{};
    std::memcpy(&wave, format.data(), format.size() < sizeof(wave) ? format.size() : sizeof(wave));
    if (format.size() < sizeof(wave)) wave.cbSize = 0;
    if (!HasConsistentLayout(wave)) return NS_E_INVALID_INPUT_FORMAT;
    if (wave.wFormatTag == WAVE_FORMAT_PCM) {
        // High-resolution PCM in a bare WAVEFORMATEX is refused: it needs the extensible record.
        if (!IsStandardShape(wave.nChannels, wave.wBitsPerSample)) return NS_E_INVALID_INPUT_FORMAT;
    } else if (wave.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (wave.cbSize < kExtensibleExtra || format.size() < sizeof(WAVEFORMATEXTENSIBLE))
            return NS_E_INVALID_INPUT_FORMAT;
        WAVEFORMATEXTENSIBLE extensible;
        std::memcpy(&extensible, format.data(), sizeof(extensible));
        if (!IsEqualGUID(extensible.SubFormat, WMMEDIASUBTYPE_PCM)) return NS_E_INVALID_INPUT_FORMAT;
        if (extensible.Samples.wValidBitsPerSample != wave.wBitsPerSample) return NS_E_INVALID_INPUT_FORMAT;
        if (extensible.dwChannelMask != 0 && BitCount(extensible.dwChannelMask) != wave.nChannels)
            return NS_E_INVALID_INPUT_FORMAT;
        if (!IsStandardShape(wave.nChannels, wave.wBitsPerSample)) {
            // Only a high-resolution stream takes high-resolution input, and only its own shape.
            if (!IsHighResolution(stream) || stream.wFormatTag != WAVE_FORMAT_PCM) return NS_E_INVALID_INPUT_FORMAT;
            if (wave.nChannels != stream.nChannels || wave.wBitsPerSample != stream.wBitsPerSample)
                return NS_E_INVALID_INPUT_FORMAT;
        }
    } else {
        return NS_E_INVALID_INPUT_FORMAT;
    }
    *plain = PlainPcm(wave.nSamplesPerSec, wave.nChannels, wave.wBitsPerSample);
    return S_OK;
}

std::vector<std::vector<BYTE>> PcmInputFormats(const WAVEFORMATEX& stream) {
    std::vector<std::vector<BYTE>> formats;
    const DWORD rate = stream.nSamplesPerSec;
    if (stream.wFormatTag == WAVE_FORMAT_PCM && IsHighResolution(stream)) {
        WAVEFORMATEXTENSIBLE extensible{};
        extensible.Format = PlainPcm(rate, stream.nChannels, stream.wBitsPerSample);
        extensible.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        extensible.Format.cbSize = kExtensibleExtra;
        extensible.Samples.wValidBitsPerSample = stream.wBitsPerSample;
        extensible.SubFormat = WMMEDIASUBTYPE_PCM;
        formats.push_back(Bytes(&extensible, sizeof(extensible)));
    }
    for (WORD bits : {16, 8}) {
        for (WORD channels : {2, 1}) {
            const WAVEFORMATEX wave = PlainPcm(rate, channels, bits);
            formats.push_back(Bytes(&wave, sizeof(wave)));
        }
    }
    return formats;
}

WAVEFORMATEX PlainPcm(DWORD rate, WORD channels, WORD bits) noexcept {
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = channels;
    wave.nSamplesPerSec = rate;
    wave.wBitsPerSample = bits;
    wave.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    wave.nAvgBytesPerSec = rate * wave.nBlockAlign;
    return wave;
}

}  // namespace wmstandin
