// The profile's three kinds of stream: video, audio and script.
#include <cstdio>

#include "encoder/InputStream.h"
#include "encoder/MediaTypes.h"
#include "encoder/Profile.h"
#include "win/ComPtr.h"

namespace ombrel {
namespace {

constexpr size_t kStreamNameSize = 128;

HRESULT NameAndAdd(IWMProfile* profile, IWMStreamConfig* config, const WCHAR* nameFormat, UINT32 index,
                   const WCHAR* connectionName) noexcept {
    WCHAR name[kStreamNameSize];
    std::swprintf(name, kStreamNameSize, nameFormat, static_cast<int>(index));
    HRESULT hr = config->SetStreamName(name);
    if (FAILED(hr)) return hr;
    hr = config->SetConnectionName(connectionName);
    if (FAILED(hr)) return hr;
    return profile->AddStream(config);
}

HRESULT SetVaultValue(IWMPropertyVault* vault, const WCHAR* name, WMT_ATTR_DATATYPE type, DWORD value) noexcept {
    return vault->SetProperty(name, type, reinterpret_cast<BYTE*>(&value), sizeof(value));
}

}  // namespace

const WCHAR* DecoderComplexityName(UINT32 decoderProfile, UINT32 mode, UINT32 level) noexcept {
    static const WCHAR* const kSimple[] = {L"SP", L"SP@LL", L"SP@ML"};
    static const WCHAR* const kMain[] = {L"MP", L"MP@LL", L"MP@ML", L"MP@HL"};
    bool noLevel = mode == 2 || mode == 3;
    switch (decoderProfile) {
        case 0:
            return noLevel ? kSimple[0] : kSimple[level < 2 ? level : 2];
        case 1:
            return noLevel ? kMain[0] : kMain[level < 3 ? level : 3];
        case 2:
            return L"CP";
        default:
            return nullptr;
    }
}

HRESULT CreateAudioStream(const AudioStreamSettings& audio, IWMProfile* profile, UINT32 index) noexcept {
    if (!profile) return E_POINTER;
    win::ComPtr<IWMStreamConfig> stream;
    HRESULT hr = profile->CreateNewStream(WMMEDIATYPE_Audio, stream.put());
    if (FAILED(hr)) return hr;
    if (!stream) return E_POINTER;

    WM_MEDIA_TYPE* rawType = nullptr;
    win::ComPtr<IWMStreamConfig> format;
    hr = GetCodecFormat(nullptr, WMMEDIATYPE_Audio, audio.codecIndex, audio.formatIndex, audio.vbrEnabled,
                        audio.passes, &rawType, format.put());
    UniqueMediaType type(rawType);
    if (FAILED(hr)) return hr;
    if (!format) return E_POINTER;

    DWORD bitrate = 0;
    hr = format->GetBitrate(&bitrate);
    if (FAILED(hr)) return hr;
    hr = stream->SetBitrate(bitrate);
    if (FAILED(hr)) return hr;
    hr = stream->SetBufferWindow(audio.bufferWindow);
    if (FAILED(hr)) return hr;

    win::ComPtr<IWMMediaProps> props;
    hr = stream.As(IID_IWMMediaProps, &props);
    if (FAILED(hr)) return hr;
    hr = props->SetMediaType(type.get());
    if (FAILED(hr)) return hr;

    win::ComPtr<IWMPropertyVault> vault;
    if (SUCCEEDED(stream.As(IID_IWMPropertyVault, &vault)) && vault)
        SetVaultValue(vault.get(), L"_VBRENABLED", WMT_TYPE_BOOL, audio.vbrEnabled);

    hr = SetStreamLanguage(stream.get(), audio.language);
    if (FAILED(hr)) return hr;
    return NameAndAdd(profile, stream.get(), L"Audio%d", index, kAudioConnectionName);
}

HRESULT CreateScriptStream(const ScriptStreamSettings& script, IWMProfile* profile, UINT32 index) noexcept {
    if (!profile) return E_POINTER;
    win::ComPtr<IWMStreamConfig> stream;
    HRESULT hr = profile->CreateNewStream(WMMEDIATYPE_Script, stream.put());
    if (FAILED(hr)) return hr;
    if (!stream) return E_POINTER;

    WMSCRIPTFORMAT scriptFormat{WMSCRIPTTYPE_TwoStrings};
    WM_MEDIA_TYPE type = ScriptMediaType(&scriptFormat);
    WM_MEDIA_TYPE* rawCopy = nullptr;
    hr = CopyMediaType(&rawCopy, &type);
    UniqueMediaType copy(rawCopy);
    if (FAILED(hr)) return hr;

    hr = stream->SetBitrate(script.bitrate);
    if (FAILED(hr)) return hr;
    hr = stream->SetBufferWindow(script.bufferWindow);
    if (FAILED(hr)) return hr;
    win::ComPtr<IWMMediaProps> props;
    hr = stream.As(IID_IWMMediaProps, &props);
    if (FAILED(hr)) return hr;
    hr = props->SetMediaType(copy.get());
    if (FAILED(hr)) return hr;
    hr = SetStreamLanguage(stream.get(), script.language);
    if (FAILED(hr)) return hr;
    return NameAndAdd(profile, stream.get(), L"Arbit%d", index, kScriptConnectionName);
}

HRESULT CreateVideoStream(const VideoStreamSettings& video, IWMProfile* profile, UINT32 index) noexcept {
    if (!profile) return E_POINTER;
    if (video.mode > 4) return E_FAIL;
    const UINT32 mode = video.mode;
    const BOOL vbr = mode >= 2;
    const DWORD passes = (mode == 1 || mode >= 3) ? 2 : 1;
    const DWORD quality = mode <= 1 ? video.quality : 100;
    const DWORD peakBitrate = mode == 4 ? video.peakBitrate : 0;
    const DWORD peakBuffer = mode == 4 ? video.peakBufferWindow : 0;

    win::ComPtr<IWMStreamConfig> stream;
    HRESULT hr = profile->CreateNewStream(WMMEDIATYPE_Video, stream.put());
    if (FAILED(hr)) return hr;
    if (!stream) return E_POINTER;
    hr = stream->SetBitrate(video.bitrate);
    if (FAILED(hr)) return hr;
    hr = stream->SetBufferWindow(video.bufferWindow);
    if (FAILED(hr)) return hr;

    WM_MEDIA_TYPE* rawFormat = nullptr;
    hr = GetCodecFormat(nullptr, WMMEDIATYPE_Video, video.codecIndex, 0, vbr, passes, &rawFormat, nullptr);
    UniqueMediaType format(rawFormat);
    if (FAILED(hr)) return hr;
    if (!format->pbFormat || format->cbFormat < sizeof(WMVIDEOINFOHEADER)) return E_FAIL;
    auto* header = reinterpret_cast<WMVIDEOINFOHEADER*>(format->pbFormat);
    header->dwBitRate = video.bitrate;
    header->rcSource = {0, 0, video.width, video.height};
    header->rcTarget = header->rcSource;
    header->bmiHeader.biWidth = video.width;
    header->bmiHeader.biHeight = video.height;
    header->AvgTimePerFrame =
        video.framesPerSecond > 0 ? static_cast<LONGLONG>(10000000.0 / video.framesPerSecond) : 0;
    WM_MEDIA_TYPE* rawCopy = nullptr;
    hr = CopyMediaType(&rawCopy, format.get());
    UniqueMediaType copy(rawCopy);
    if (FAILED(hr)) return hr;

    win::ComPtr<IWMVideoMediaProps> props;
    hr = stream.As(IID_IWMVideoMediaProps, &props);
    if (FAILED(hr)) return hr;
    hr = props->SetMediaType(copy.get());
    if (FAILED(hr)) return hr;
    hr = props->SetQuality(quality);
    if (FAILED(hr)) return hr;
    hr = props->SetMaxKeyFrameSpacing(static_cast<LONGLONG>(video.maxKeyFrameSpacing) * 10000LL);
    if (FAILED(hr)) return hr;

    win::ComPtr<IWMPropertyVault> vault;
    if (SUCCEEDED(stream.As(IID_IWMPropertyVault, &vault)) && vault) {
        hr = SetVaultValue(vault.get(), L"_VBRENABLED", WMT_TYPE_BOOL, vbr);
        if (SUCCEEDED(hr) && mode >= 2) {
            hr = SetVaultValue(vault.get(), L"_VBRQUALITY", WMT_TYPE_DWORD, video.quality);
            if (SUCCEEDED(hr)) hr = SetVaultValue(vault.get(), L"_RMAX", WMT_TYPE_DWORD, peakBitrate);
            if (SUCCEEDED(hr)) hr = SetVaultValue(vault.get(), L"_BMAX", WMT_TYPE_DWORD, peakBuffer);
        }
        if (SUCCEEDED(hr)) hr = SetVaultValue(vault.get(), L"_COMPLEXITYEX", WMT_TYPE_DWORD, video.complexity);
        if (SUCCEEDED(hr)) {
            const WCHAR* name = DecoderComplexityName(video.decoderProfile, mode, video.decoderLevel);
            DWORD bytes = name ? static_cast<DWORD>((wcslen(name) + 1) * sizeof(WCHAR)) : 0;
            hr = vault->SetProperty(L"_DECODERCOMPLEXITYPROFILE", WMT_TYPE_STRING,
                                    reinterpret_cast<BYTE*>(const_cast<WCHAR*>(name)), bytes);
        }
        if (FAILED(hr)) return hr;
    }

    hr = SetStreamLanguage(stream.get(), video.language);
    if (FAILED(hr)) return hr;
    if (video.contentTypeExtension) {
        hr = EnsureDataUnitExtension(stream.get(), WM_SampleExtensionGUID_ContentType,
                                     WM_SampleExtension_ContentType_Size);
        if (FAILED(hr)) return hr;
    }
    if (video.pixelAspectRatioExtension) {
        hr = EnsureDataUnitExtension(stream.get(), WM_SampleExtensionGUID_PixelAspectRatio,
                                     WM_SampleExtension_PixelAspectRatio_Size);
        if (FAILED(hr)) return hr;
    }
    return NameAndAdd(profile, stream.get(), L"Video%d", index, kVideoConnectionName);
}

}  // namespace ombrel
