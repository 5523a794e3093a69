// The codecs the stand-in lists. "Windows Media Audio 9.2" offers the constant bit rates its WMA v2
// encoder really produces (WmaEncoder); the other audio codecs offer uncompressed PCM, described
// as such, and the video codec only lets a profile be described, never written.
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

// One format of a codec as its stream configuration gives it.
struct AudioFormat {
    std::vector<BYTE> wave;    // the WAVEFORMATEX with its extra bytes
    DWORD bitrate = 0;         // bits per second of the stream
};

struct CodecEntry {
    const WCHAR* name;
    bool acceptsVbrSetting;        // false: "_VBRENABLED" is refused with NS_E_UNSUPPORTED_PROPERTY
    std::vector<AudioFormat> cbr;  // one pass, VBR off
    std::vector<AudioFormat> vbr;  // one pass, VBR on
};

// Built once, on first use: the compressed formats are those the encoder opens and keeps within
// their block size.
const std::vector<CodecEntry>& AudioCodecs();
constexpr const WCHAR* kVideoCodecName = L"Windows Media Video 9";
constexpr DWORD kVideoComplexityLive = 2;
constexpr DWORD kVideoComplexityOffline = 4;

// The media subtype of the WMA v2 bitstream, {00000161-0000-0010-8000-00AA00389B71}.
extern const GUID kWmaV2Subtype;

WAVEFORMATEX MakeWaveFormat(const PcmFormat& format) noexcept;
// "44 kHz, stereo, 16-bit PCM (1411 kbps)".
std::wstring DescribePcm(const PcmFormat& format);
// "128 kbps, 44 kHz, stereo 1-pass CBR", with the bit rate the format really takes.
std::wstring DescribeWma(const WAVEFORMATEX& format);

}  // namespace wmstandin
