// Media types the encoder hands to the runtime. The format block stays the caller's.
#pragma once

#include "encoder/WmSdk.h"

namespace ombrel {

inline WM_MEDIA_TYPE MakeMediaType(const GUID& major, const GUID& subtype, BOOL fixedSizeSamples,
                                   BOOL temporalCompression, ULONG sampleSize, const GUID& formatType,
                                   ULONG formatBytes, void* format) noexcept {
    WM_MEDIA_TYPE type{};
    type.majortype = major;
    type.subtype = subtype;
    type.bFixedSizeSamples = fixedSizeSamples;
    type.bTemporalCompression = temporalCompression;
    type.lSampleSize = sampleSize;
    type.formattype = formatType;
    type.pUnk = nullptr;
    type.cbFormat = formatBytes;
    type.pbFormat = static_cast<BYTE*>(format);
    return type;
}

// The script stream's type: two strings per command, no fixed sample size.
inline WM_MEDIA_TYPE ScriptMediaType(WMSCRIPTFORMAT* format) noexcept {
    return MakeMediaType(WMMEDIATYPE_Script, GUID_NULL, FALSE, TRUE, 0, WMFORMAT_Script,
                         sizeof(WMSCRIPTFORMAT), format);
}

}  // namespace ombrel
