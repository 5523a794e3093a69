// One writer input of the encoder: the input number the writer gave it, the connection name
// that ties it to a profile stream, and its uncompressed media type, whose format block is
// on the process heap and belongs to the entry.
#pragma once

#include "encoder/InputFormat.h"
#include "encoder/PcmConversion.h"
#include "encoder/WmSdk.h"

namespace ombrel {

constexpr WCHAR kVideoConnectionName[] = L"WMLiveWmv9Video1";
constexpr WCHAR kAudioConnectionName[] = L"WMLiveWmv9Audio1";
constexpr WCHAR kScriptConnectionName[] = L"WMLiveWmv9Arbit1";

constexpr UINT32 kMaxInputStreams = 2;

struct InputStream {
    INT32 inputNumber;
    const WCHAR* connectionName;
    WM_MEDIA_TYPE mediaType;
};

// Frees the entry's format block and zeroes the entry.
void FreeInputStream(InputStream* stream) noexcept;

// Number of streams the record enables (video, audio, script).
UINT32 CountEnabledStreams(const InputFormat& format) noexcept;

// The record can be encoded: at most two streams, and a PCM rate above 0 when audio is on.
bool IsAcceptableInputFormat(const InputFormat& format) noexcept;

// (Re)builds entry as the PCM input of the layout at the rate, freeing the block it held; an
// entry that had no connection name gets the audio one and input number -1.
HRESULT BuildPcmInput(INT32 sampleRate, PcmLayout layout, InputStream* entry) noexcept;

// Builds the media types of the enabled streams (the video frame time takes the frame-rate
// denominator shifted left by frameRateShift), in the order video, audio, script, into
// inputs; *count receives their number. E_FAIL when none is enabled (count untouched),
// E_INVALIDARG when more than two are, E_OUTOFMEMORY or E_FAIL when a block cannot be had.
HRESULT BuildInputStreams(const InputFormat& format, UINT32 frameRateShift,
                          InputStream (&inputs)[kMaxInputStreams], UINT32* count) noexcept;

}  // namespace ombrel
