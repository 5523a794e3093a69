// The runtime's audio codecs and formats and the platform's languages, listed into the
// settings page's combo boxes, and the default EncoderSettings found by codec name.
#pragma once

#include <windows.h>

#include "encoder/EncoderSettings.h"
#include "encoder/InputFormat.h"
#include "encoder/WmSdk.h"

namespace ombrel {

constexpr int kCodecListId = 1005;
constexpr int kFormatListId = 1006;
constexpr int kLanguageListId = 1014;

// Item data of a format list entry: bit 31 VBR, bits 16..30 passes, bits 0..15 format index.
DWORD PackFormatItemData(BOOL vbr, DWORD passes, DWORD formatIndex) noexcept;

// The list fillers return 1 when the control exists and the catalogue opened, 0 otherwise.
int FillCodecList(HWND page, DWORD savedCodecIndex) noexcept;
int FillFormatList(HWND page, BOOL savedVbr, DWORD codecIndex, DWORD savedFormatIndex, DWORD savedPasses) noexcept;
int FillLanguageList(HWND page, LCID savedLcid) noexcept;

// The index of the codec named exactly name; *index is -1 with E_FAIL when there is none.
HRESULT FindCodecIndex(REFGUID majorType, const WCHAR* name, DWORD* index) noexcept;
// The codec's "_COMPLEXITYEXLIVE" (live) or "_COMPLEXITYEXOFFLINE" property.
HRESULT GetCodecComplexity(REFGUID majorType, DWORD codecIndex, BOOL live, DWORD* complexity) noexcept;
// The first of the preferred audio codecs offered, with format index 0.
HRESULT FindDefaultAudioCodec(DWORD* codecIndex, DWORD* formatIndex) noexcept;
// Zeroes settings and fills it with the defaults; format may be null (no video).
HRESULT FillDefaultEncoderSettings(const InputFormat* format, EncoderSettings* settings) noexcept;

}  // namespace ombrel
