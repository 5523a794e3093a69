#include "standin/wmvcore/PcmConverter.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace wmstandin {
namespace {

double ReadSample(const BYTE* p, WORD bits) noexcept {
    switch (bits) {
        case 8:
            return (static_cast<int>(p[0]) - 128) / 128.0;
        case 16:
            return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))) / 32768.0;
        case 24: {
            int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0] << 8 | p[1] << 16 | p[2] << 24)) >> 8;
            return v / 8388608.0;
        }
        default: {
            uint32_t u = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
            return static_cast<int32_t>(u) / 2147483648.0;
        }
    }
}

void WriteSample(double value, WORD bits, BYTE* p) noexcept {
    const double scale = bits == 8 ? 128.0 : bits == 16 ? 32768.0 : bits == 24 ? 8388608.0 : 2147483648.0;
    double scaled = std::floor(value * scale + 0.5);
    if (scaled > scale - 1) scaled = scale - 1;
    if (scaled < -scale) scaled = -scale;
    const int64_t v = static_cast<int64_t>(scaled);
    switch (bits) {
        case 8:
            p[0] = static_cast<BYTE>(v + 128);
            break;
        case 16:
            p[0] = static_cast<BYTE>(v);
            p[1] = static_cast<BYTE>(v >> 8);
            break;
        case 24:
            p[0] = static_cast<BYTE>(v);
            p[1] = static_cast<BYTE>(v >> 8);
            p[2] = static_cast<BYTE>(v >> 16);
            break;
        default:
            p[0] = static_cast<BYTE>(v);
            p[1] = static_cast<BYTE>(v >> 8);
            p[2] = static_cast<BYTE>(v >> 16);
            p[3] = static_cast<BYTE>(v >> 24);
            break;
    }
}

}  // namespace

bool IsSupportedPcm(const WAVEFORMATEX& format) noexcept {
    if (format.wFormatTag != WAVE_FORMAT_PCM) return false;
    const WORD bits = format.wBitsPerSample;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (format.nChannels < 1 || format.nChannels > 8) return false;
    if (format.nSamplesPerSec == 0 || format.nSamplesPerSec > 1000000) return false;
    return format.nBlockAlign == format.nChannels * bits / 8;
}

HRESULT PcmConverter::Configure(const WAVEFORMATEX& input, const WAVEFORMATEX& output) noexcept {
    if (!IsSupportedPcm(input) || !IsSupportedPcm(output)) return NS_E_INVALID_INPUT_FORMAT;
    in_ = input;
    out_ = output;
    identical_ = input.nChannels == output.nChannels && input.nSamplesPerSec == output.nSamplesPerSec &&
                 input.wBitsPerSample == output.wBitsPerSample;
    phase_ = 1.0;
    try {
        prev_.assign(out_.nChannels, 0.0);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    configured_ = true;
    return S_OK;
}

// One input frame (in_.nChannels values) into one output frame (out_.nChannels values): the
// same channels, a mono input on every channel, an average for a mono output, the usual 5.1
// fold-down to stereo, and otherwise the first channels kept and the missing ones silent.
void PcmConverter::Mix(const double* in, double* out) const noexcept {
    const WORD ic = in_.nChannels;
    const WORD oc = out_.nChannels;
    if (ic == oc) {
        for (WORD c = 0; c < oc; ++c) out[c] = in[c];
    } else if (ic == 1) {
        for (WORD c = 0; c < oc; ++c) out[c] = in[0];
    } else if (oc == 1) {
        double sum = 0;
        for (WORD c = 0; c < ic; ++c) sum += in[c];
        out[0] = sum / ic;
    } else if (oc == 2 && ic >= 6) {
        // FL FR FC LFE BL BR: centre and back at -3 dB, LFE left out.
        const double k = 0.70710678118654752;
        const double norm = 1.0 / (1.0 + 2 * k);
        out[0] = (in[0] + k * in[2] + k * in[4]) * norm;
        out[1] = (in[1] + k * in[2] + k * in[5]) * norm;
    } else {
        for (WORD c = 0; c < oc; ++c) out[c] = c < ic ? in[c] : 0.0;
    }
}

HRESULT PcmConverter::Convert(const BYTE* data, DWORD bytes, std::vector<BYTE>* out) {
    if (!configured_) return E_UNEXPECTED;
    if (bytes % in_.nBlockAlign) return E_INVALIDARG;
    if (bytes && !data) return E_POINTER;
    if (identical_) {
        out->insert(out->end(), data, data + bytes);
        return S_OK;
    }
    const DWORD frames = bytes / in_.nBlockAlign;
    const WORD ic = in_.nChannels;
    const WORD oc = out_.nChannels;
    const WORD inBytes = in_.wBitsPerSample / 8;
    const WORD outBytes = out_.wBitsPerSample / 8;
    // Mixed input frames, index 0 being the previous block's last frame; every one is written
    // before it is read.
    const size_t needed = (static_cast<size_t>(frames) + 1) * oc;
    if (mixed_.size() < needed) mixed_.resize(needed);
    double* mixed = mixed_.data();
    std::memcpy(mixed, prev_.data(), oc * sizeof(double));
    double frame[8];
    for (DWORD f = 0; f < frames; ++f) {
        const BYTE* p = data + static_cast<size_t>(f) * in_.nBlockAlign;
        for (WORD c = 0; c < ic; ++c) frame[c] = ReadSample(p + c * inBytes, in_.wBitsPerSample);
        Mix(frame, &mixed[(static_cast<size_t>(f) + 1) * oc]);
    }
    const double step = static_cast<double>(in_.nSamplesPerSec) / out_.nSamplesPerSec;
    BYTE sample[4];
    double phase = phase_;
    while (phase <= frames) {
        const size_t i = static_cast<size_t>(phase);
        const double frac = phase - static_cast<double>(i);
        for (WORD c = 0; c < oc; ++c) {
            double v = mixed[i * oc + c];
            if (frac > 0) v = v * (1 - frac) + mixed[(i + 1) * oc + c] * frac;
            WriteSample(v, out_.wBitsPerSample, sample);
            out->insert(out->end(), sample, sample + outBytes);
        }
        phase += step;
    }
    phase_ = phase - frames;
    if (frames) std::memcpy(prev_.data(), &mixed[static_cast<size_t>(frames) * oc], oc * sizeof(double));
    return S_OK;
}

}  // namespace wmstandin
