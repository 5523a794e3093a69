// The encoding profile: a new custom profile with one stream per enabled input (video, audio,
// script), each with its codec format, bit rate, buffer window, language, name and the
// connection name that ties it to a writer input.
#pragma once

#include <memory>

#include "encoder/EncoderSettings.h"
#include "encoder/InputFormat.h"
#include "encoder/WmSdk.h"

namespace ombrel {

constexpr HRESULT kUnsupportedProperty = static_cast<HRESULT>(0xC00D0BCD);  // NS_E_UNSUPPORTED_PROPERTY

// A media type with its format block in one process-heap block.
struct MediaTypeDeleter {
    void operator()(WM_MEDIA_TYPE* type) const noexcept { ::HeapFree(::GetProcessHeap(), 0, type); }
};
using UniqueMediaType = std::unique_ptr<WM_MEDIA_TYPE, MediaTypeDeleter>;

// Builds the profile into *profile (one reference, also when a stream step failed once the
// profile exists). A null settings record stands for the defaults.
HRESULT SetupProfile(const InputFormat* format, const EncoderSettings* settings, IWMProfile** profile) noexcept;

HRESULT CreateVideoStream(const VideoStreamSettings& video, IWMProfile* profile, UINT32 index) noexcept;
HRESULT CreateAudioStream(const AudioStreamSettings& audio, IWMProfile* profile, UINT32 index) noexcept;
HRESULT CreateScriptStream(const ScriptStreamSettings& script, IWMProfile* profile, UINT32 index) noexcept;

// The format's media type as one heap block (free with MediaTypeDeleter) and, when
// formatConfig is given, the format's stream configuration, under the codec enumeration
// that vbr and passes select. codecInfo may be null.
HRESULT GetCodecFormat(IWMCodecInfo3* codecInfo, REFGUID majorType, DWORD codecIndex, DWORD formatIndex, BOOL vbr,
                       DWORD passes, WM_MEDIA_TYPE** mediaType, IWMStreamConfig** formatConfig) noexcept;

// An IWMCodecInfo3: held with a reference added, or from a new profile manager.
HRESULT OpenCodecInfo(IWMCodecInfo3* held, IWMCodecInfo3** codecInfo) noexcept;

// Sets the stream's language to the RFC 1766 tag of lcid, from the platform language service.
HRESULT SetStreamLanguage(IWMStreamConfig* config, LCID lcid) noexcept;

// Copies source with its format block into one heap block.
HRESULT CopyMediaType(WM_MEDIA_TYPE** destination, const WM_MEDIA_TYPE* source) noexcept;

// Adds the data unit extension unless one with the same GUID and at least that size exists.
HRESULT EnsureDataUnitExtension(IWMStreamConfig* config, const GUID& extension, WORD size) noexcept;

// The "_DECODERCOMPLEXITYPROFILE" name for a decoder profile, video mode and level; null for none.
const WCHAR* DecoderComplexityName(UINT32 decoderProfile, UINT32 mode, UINT32 level) noexcept;

}  // namespace ombrel
