// The codecs the stand-in lists. It does not compress: every audio format is uncompressed PCM,
// described as such, and the video codec only lets a profile be described, never written.
#pragma once

#include "encoder/WmSdk.h"

#include <string>
#include <vector>

namespace wmstandin {

struct PcmFormat {
    DWORD rate;
    WORD channels;
    WORD bits;
};

struct CodecEntry {
    const WCHAR* name;
    bool acceptsVbrSetting;        // false: "_VBRENABLED" is refused with NS_E_UNSUPPORTED_PROPERTY
    std::vector<PcmFormat> cbr;    // one pass, VBR off
    std::vector<PcmFormat> vbr;    // one pass, VBR on
};

const std::vector<CodecEntry>& AudioCodecs();
constexpr const WCHAR* kVideoCodecName = L"Windows Media Video 9";
constexpr DWORD kVideoComplexityLive = 2;
constexpr DWORD kVideoComplexityOffline = 4;

WAVEFORMATEX MakeWaveFormat(const PcmFormat& format) noexcept;
// "44 kHz, stereo, 16-bit PCM (1411 kbps)".
std::wstring DescribePcm(const PcmFormat& format);

}  // namespace wmstandin
