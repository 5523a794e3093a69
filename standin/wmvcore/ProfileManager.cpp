// The profile manager: IWMProfileManager for empty profiles and IWMCodecInfo (2, 3) for the
// codec catalogue, with the enumeration settings ("_VBRENABLED", "_PASSESUSED") kept per codec
// for the life of the object.
#include <cstring>

#include "standin/wmvcore/CodecCatalogue.h"
#include "standin/wmvcore/ComSupport.h"
#include "standin/wmvcore/Objects.h"
#include "win/CriticalSection.h"

namespace wmstandin {
namespace {

struct EnumerationSetting {
    BOOL vbr = FALSE;
    DWORD passes = 1;
};

StreamData AudioFormatData(const AudioFormat& format) {
    const auto& wave = *reinterpret_cast<const WAVEFORMATEX*>(format.wave.data());
    StreamData data;
    data.streamType = WMMEDIATYPE_Audio;
    data.bitrate = format.bitrate;
    data.bufferWindow = 3000;
    data.mediaType.majortype = WMMEDIATYPE_Audio;
    data.mediaType.subtype = wave.wFormatTag == WAVE_FORMAT_PCM ? WMMEDIASUBTYPE_PCM : kWmaV2Subtype;
    data.mediaType.bFixedSizeSamples = TRUE;
    data.mediaType.bTemporalCompression = FALSE;
    data.mediaType.lSampleSize = wave.nBlockAlign;
    data.mediaType.formattype = WMFORMAT_WaveFormatEx;
    data.mediaType.cbFormat = static_cast<ULONG>(format.wave.size());
    data.format = format.wave;
    data.hasMediaType = true;
    return data;
}

StreamData VideoFormatData() {
    WMVIDEOINFOHEADER header{};
    header.rcSource = {0, 0, 320, 240};
    header.rcTarget = header.rcSource;
    header.dwBitRate = 400000;
    header.AvgTimePerFrame = 333333;
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = 320;
    header.bmiHeader.biHeight = 240;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 24;
    header.bmiHeader.biCompression = MAKEFOURCC('W', 'M', 'V', '3');
    StreamData data;
    data.streamType = WMMEDIATYPE_Video;
    data.bitrate = header.dwBitRate;
    data.bufferWindow = 5000;
    data.mediaType.majortype = WMMEDIATYPE_Video;
    data.mediaType.subtype = WMMEDIASUBTYPE_WMV3;
    data.mediaType.bFixedSizeSamples = FALSE;
    data.mediaType.bTemporalCompression = TRUE;
    data.mediaType.formattype = WMFORMAT_VideoInfo;
    data.mediaType.cbFormat = sizeof(WMVIDEOINFOHEADER);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&header);
    data.format.assign(bytes, bytes + sizeof(WMVIDEOINFOHEADER));
    data.hasMediaType = true;
    return data;
}

struct ProfileManager final : IWMProfileManager, IWMCodecInfo3 {
    RefCount refs;
    win::CriticalSection lock;
    std::vector<EnumerationSetting> audioSettings;
    EnumerationSetting videoSetting;

    ProfileManager() : audioSettings(AudioCodecs().size()) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWMProfileManager))
            *out = static_cast<IWMProfileManager*>(this);
        else if (IsEqualIID(iid, IID_IWMCodecInfo) || IsEqualIID(iid, IID_IWMCodecInfo2) ||
                 IsEqualIID(iid, IID_IWMCodecInfo3))
            *out = static_cast<IWMCodecInfo3*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs.Release(this); }

    // IWMProfileManager
    HRESULT STDMETHODCALLTYPE CreateEmptyProfile(WMT_VERSION version, IWMProfile** profile) override {
        return CreateProfile(version, profile);
    }
    HRESULT STDMETHODCALLTYPE LoadProfileByID(REFGUID, IWMProfile**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LoadProfileByData(const WCHAR*, IWMProfile**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveProfile(IWMProfile*, WCHAR*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemProfileCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LoadSystemProfile(DWORD, IWMProfile**) override { return E_NOTIMPL; }

    // The codec's enumeration setting; null for an unknown type or index.
    EnumerationSetting* Setting(REFGUID type, DWORD codec) {
        if (IsEqualGUID(type, WMMEDIATYPE_Audio)) return codec < audioSettings.size() ? &audioSettings[codec] : nullptr;
        if (IsEqualGUID(type, WMMEDIATYPE_Video)) return codec == 0 ? &videoSetting : nullptr;
        return nullptr;
    }

    // The formats the codec lists under its current enumeration setting.
    HRESULT Formats(REFGUID type, DWORD codec, std::vector<StreamData>* formats) {
        win::CsLock hold(lock);
        EnumerationSetting* setting = Setting(type, codec);
        if (!setting) return E_INVALIDARG;
        formats->clear();
        if (setting->passes != 1) return S_OK;  // live encoding is one pass only
        if (IsEqualGUID(type, WMMEDIATYPE_Video)) {
            formats->push_back(VideoFormatData());
            return S_OK;
        }
        const CodecEntry& entry = AudioCodecs()[codec];
        for (const AudioFormat& format : setting->vbr ? entry.vbr : entry.cbr) formats->push_back(AudioFormatData(format));
        return S_OK;
    }

    // IWMCodecInfo
    HRESULT STDMETHODCALLTYPE GetCodecInfoCount(REFGUID type, DWORD* count) override {
        if (!count) return E_POINTER;
        if (IsEqualGUID(type, WMMEDIATYPE_Audio))
            *count = static_cast<DWORD>(AudioCodecs().size());
        else if (IsEqualGUID(type, WMMEDIATYPE_Video))
            *count = 1;
        else
            return E_INVALIDARG;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCodecFormatCount(REFGUID type, DWORD codec, DWORD* count) override {
        if (!count) return E_POINTER;
        return Guard([&] {
            std::vector<StreamData> formats;
            HRESULT hr = Formats(type, codec, &formats);
            if (SUCCEEDED(hr)) *count = static_cast<DWORD>(formats.size());
            return hr;
        });
    }
    HRESULT STDMETHODCALLTYPE GetCodecFormat(REFGUID type, DWORD codec, DWORD index, IWMStreamConfig** config) override {
        return GetCodecFormatDesc(type, codec, index, config, nullptr, nullptr);
    }

    // IWMCodecInfo2
    HRESULT STDMETHODCALLTYPE GetCodecName(REFGUID type, DWORD codec, WCHAR* name, DWORD* count) override {
        if (!count) return E_POINTER;
        return Guard([&] {
            if (IsEqualGUID(type, WMMEDIATYPE_Audio) && codec < AudioCodecs().size())
                return CopyText(std::wstring(AudioCodecs()[codec].name), name, count);
            if (IsEqualGUID(type, WMMEDIATYPE_Video) && codec == 0)
                return CopyText(std::wstring(kVideoCodecName), name, count);
            return E_INVALIDARG;
        });
    }
    HRESULT STDMETHODCALLTYPE GetCodecFormatDesc(REFGUID type, DWORD codec, DWORD index, IWMStreamConfig** config,
                                                 WCHAR* description, DWORD* count) override {
        if (config) *config = nullptr;
        if (!config && !count) return E_POINTER;
        return Guard([&] {
            std::vector<StreamData> formats;
            HRESULT hr = Formats(type, codec, &formats);
            if (FAILED(hr)) return hr;
            if (index >= formats.size()) return E_INVALIDARG;
            const StreamData& format = formats[index];
            if (count) {
                std::wstring text;
                if (IsEqualGUID(type, WMMEDIATYPE_Audio)) {
                    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(format.format.data());
                    text = wave->wFormatTag == WAVE_FORMAT_PCM
                               ? DescribePcm({wave->nSamplesPerSec, wave->nChannels, wave->wBitsPerSample})
                               : DescribeWma(*wave);
                } else {
                    text = L"320 x 240, described only: the stand-in writes no video";
                }
                hr = CopyText(text, description, count);
                if (FAILED(hr)) return hr;
            }
            if (config) hr = CreateStreamConfig(format, config);
            return hr;
        });
    }

    // IWMCodecInfo3
    HRESULT STDMETHODCALLTYPE GetCodecFormatProp(REFGUID, DWORD, DWORD, LPCWSTR, WMT_ATTR_DATATYPE*, BYTE*,
                                                 DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetCodecProp(REFGUID type, DWORD codec, LPCWSTR name, WMT_ATTR_DATATYPE* valueType,
                                           BYTE* value, DWORD* size) override {
        if (!name || !valueType || !size) return E_POINTER;
        return Guard([&] {
            win::CsLock hold(lock);
            if (!Setting(type, codec)) return E_INVALIDARG;
            DWORD number = 0;
            if (IsEqualGUID(type, WMMEDIATYPE_Video) && std::wcscmp(name, L"_COMPLEXITYEXLIVE") == 0)
                number = kVideoComplexityLive;
            else if (IsEqualGUID(type, WMMEDIATYPE_Video) && std::wcscmp(name, L"_COMPLEXITYEXOFFLINE") == 0)
                number = kVideoComplexityOffline;
            else
                return NS_E_UNSUPPORTED_PROPERTY;
            const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
            return CopyValue(WMT_TYPE_DWORD, std::vector<BYTE>(bytes, bytes + sizeof(number)), valueType, value, size);
        });
    }
    HRESULT STDMETHODCALLTYPE SetCodecEnumerationSetting(REFGUID type, DWORD codec, LPCWSTR name,
                                                         WMT_ATTR_DATATYPE valueType, const BYTE* value,
                                                         DWORD size) override {
        if (!name || !value) return E_POINTER;
        win::CsLock hold(lock);
        EnumerationSetting* setting = Setting(type, codec);
        if (!setting) return E_INVALIDARG;
        const bool audio = IsEqualGUID(type, WMMEDIATYPE_Audio);
        if (std::wcscmp(name, L"_VBRENABLED") == 0) {
            if (audio && !AudioCodecs()[codec].acceptsVbrSetting) return NS_E_UNSUPPORTED_PROPERTY;
            if (valueType != WMT_TYPE_BOOL || size != sizeof(BOOL)) return E_INVALIDARG;
            BOOL vbr = FALSE;
            std::memcpy(&vbr, value, sizeof(vbr));
            setting->vbr = vbr ? TRUE : FALSE;
            return S_OK;
        }
        if (std::wcscmp(name, L"_PASSESUSED") == 0) {
            if (valueType != WMT_TYPE_DWORD || size != sizeof(DWORD)) return E_INVALIDARG;
            DWORD passes = 0;
            std::memcpy(&passes, value, sizeof(passes));
            if (passes != 1 && passes != 2) return NS_E_INVALID_NUM_PASSES;
            setting->passes = passes;
            return S_OK;
        }
        return NS_E_UNSUPPORTED_PROPERTY;
    }
    HRESULT STDMETHODCALLTYPE GetCodecEnumerationSetting(REFGUID type, DWORD codec, LPCWSTR name,
                                                         WMT_ATTR_DATATYPE* valueType, BYTE* value,
                                                         DWORD* size) override {
        if (!name || !valueType || !size) return E_POINTER;
        return Guard([&] {
            win::CsLock hold(lock);
            EnumerationSetting* setting = Setting(type, codec);
            if (!setting) return E_INVALIDARG;
            const bool audio = IsEqualGUID(type, WMMEDIATYPE_Audio);
            DWORD number = 0;
            WMT_ATTR_DATATYPE numberType = WMT_TYPE_DWORD;
            if (std::wcscmp(name, L"_VBRENABLED") == 0) {
                if (audio && !AudioCodecs()[codec].acceptsVbrSetting) return NS_E_UNSUPPORTED_PROPERTY;
                number = static_cast<DWORD>(setting->vbr);
                numberType = WMT_TYPE_BOOL;
            } else if (std::wcscmp(name, L"_PASSESUSED") == 0) {
                number = setting->passes;
            } else {
                return NS_E_UNSUPPORTED_PROPERTY;
            }
            const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
            return CopyValue(numberType, std::vector<BYTE>(bytes, bytes + sizeof(number)), valueType, value, size);
        });
    }
};

}  // namespace

HRESULT CreateProfileManager(IWMProfileManager** manager) noexcept {
    if (!manager) return E_POINTER;
    *manager = nullptr;
    return Guard([&] {
        *manager = new ProfileManager();
        return S_OK;
    });
}

}  // namespace wmstandin
