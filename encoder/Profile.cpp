// The profile build and its helpers: codec information, codec formats, media type copies,
// stream languages and data unit extensions.
#include "encoder/Profile.h"

#include <oleauto.h>

#include <cstring>

#include "encoder/Catalogue.h"
#include "encoder/RuntimeEntryPoints.h"
#include "win/ComPtr.h"

namespace ombrel {
namespace {

constexpr DWORD kMultiLanguageContext = 0x17;

struct BstrDeleter {
    void operator()(OLECHAR* text) const noexcept { ::SysFreeString(text); }
};

}  // namespace

HRESULT OpenCodecInfo(IWMCodecInfo3* held, IWMCodecInfo3** codecInfo) noexcept {
    if (!codecInfo) return E_POINTER;
    if (held) {
        held->AddRef();
        *codecInfo = held;
        return S_OK;
    }
    win::ComPtr<IWMProfileManager> manager;
    HRESULT hr = ActiveRuntimeEntryPoints().createProfileManager(manager.put());
    if (FAILED(hr)) return hr;
    if (!manager) return E_POINTER;
    win::ComPtr<IWMCodecInfo3> info;
    hr = manager.As(IID_IWMCodecInfo3, &info);
    if (FAILED(hr)) return hr;
    if (!info) return E_POINTER;
    *codecInfo = info.detach();
    return S_OK;
}

HRESULT CopyMediaType(WM_MEDIA_TYPE** destination, const WM_MEDIA_TYPE* source) noexcept {
    if (!destination) return E_POINTER;
    if (!source) return E_NOTIMPL;
    if (source->cbFormat && !source->pbFormat) return E_INVALIDARG;
    auto* copy = static_cast<WM_MEDIA_TYPE*>(
        ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(WM_MEDIA_TYPE) + source->cbFormat));
    if (!copy) return E_OUTOFMEMORY;
    *copy = *source;
    copy->pUnk = nullptr;
    copy->pbFormat = source->cbFormat ? reinterpret_cast<BYTE*>(copy + 1) : nullptr;
    if (source->cbFormat) std::memcpy(copy->pbFormat, source->pbFormat, source->cbFormat);
    *destination = copy;
    return S_OK;
}

HRESULT GetCodecFormat(IWMCodecInfo3* held, REFGUID majorType, DWORD codecIndex, DWORD formatIndex, BOOL vbr,
                       DWORD passes, WM_MEDIA_TYPE** mediaType, IWMStreamConfig** formatConfig) noexcept {
    if (!mediaType) return E_POINTER;
    win::ComPtr<IWMCodecInfo3> info;
    HRESULT hr = OpenCodecInfo(held, info.put());
    if (FAILED(hr)) return hr;

    BOOL vbrValue = vbr;
    hr = info->SetCodecEnumerationSetting(majorType, codecIndex, L"_VBRENABLED", WMT_TYPE_BOOL,
                                          reinterpret_cast<const BYTE*>(&vbrValue), sizeof(vbrValue));
    if (FAILED(hr) && !(vbr == FALSE && hr == kUnsupportedProperty)) return hr;
    DWORD passesValue = passes;
    hr = info->SetCodecEnumerationSetting(majorType, codecIndex, L"_PASSESUSED", WMT_TYPE_DWORD,
                                          reinterpret_cast<const BYTE*>(&passesValue), sizeof(passesValue));
    if (FAILED(hr)) return hr;

    win::ComPtr<IWMStreamConfig> config;
    hr = info->GetCodecFormat(majorType, codecIndex, formatIndex, config.put());
    if (FAILED(hr)) return hr;
    if (!config) return E_POINTER;
    win::ComPtr<IWMMediaProps> props;
    hr = config.As(IID_IWMMediaProps, &props);
    if (FAILED(hr)) return hr;
    DWORD size = 0;
    hr = props->GetMediaType(nullptr, &size);
    if (FAILED(hr)) return hr;
    if (size < sizeof(WM_MEDIA_TYPE)) return E_FAIL;
    UniqueMediaType block(static_cast<WM_MEDIA_TYPE*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size)));
    if (!block) return E_OUTOFMEMORY;
    hr = props->GetMediaType(block.get(), &size);
    if (FAILED(hr)) return hr;

    *mediaType = block.release();
    if (formatConfig) *formatConfig = config.detach();
    return hr;
}

HRESULT SetStreamLanguage(IWMStreamConfig* config, LCID lcid) noexcept {
    if (!config) return E_POINTER;
    win::ComPtr<IMultiLanguage> language;
    HRESULT hr = ::CoCreateInstance(CLSID_CMultiLanguage, nullptr, kMultiLanguageContext, IID_IMultiLanguage,
                                    language.put_void());
    if (FAILED(hr)) return hr;
    if (!language) return E_POINTER;
    BSTR rawTag = nullptr;
    hr = language->GetRfc1766FromLcid(lcid, &rawTag);
    std::unique_ptr<OLECHAR, BstrDeleter> tag(rawTag);
    if (FAILED(hr)) return hr;
    if (!tag) return E_FAIL;
    win::ComPtr<IWMStreamConfig3> config3;
    hr = config->QueryInterface(IID_IWMStreamConfig3, config3.put_void());
    if (FAILED(hr)) return hr;
    if (!config3) return E_POINTER;
    return config3->SetLanguage(tag.get());
}

HRESULT EnsureDataUnitExtension(IWMStreamConfig* config, const GUID& extension, WORD size) noexcept {
    if (!config) return E_POINTER;
    win::ComPtr<IWMStreamConfig2> config2;
    HRESULT hr = config->QueryInterface(IID_IWMStreamConfig2, config2.put_void());
    if (FAILED(hr)) return hr;
    if (!config2) return E_POINTER;
    WORD count = 0;
    hr = config2->GetDataUnitExtensionCount(&count);
    if (FAILED(hr)) return hr;
    for (WORD i = 0; i < count; ++i) {
        GUID present = GUID_NULL;
        WORD presentSize = 0;
        DWORD infoSize = 0;
        hr = config2->GetDataUnitExtension(i, &present, &presentSize, nullptr, &infoSize);
        if (FAILED(hr)) return hr;
        if (IsEqualGUID(present, extension) && presentSize >= size) return S_OK;
    }
    return config2->AddDataUnitExtension(extension, size, nullptr, 0);
}

HRESULT SetupProfile(const InputFormat* format, const EncoderSettings* settings, IWMProfile** profile) noexcept {
    if (!format || !profile) return E_POINTER;
    win::ComPtr<IWMProfileManager> manager;
    HRESULT hr = ActiveRuntimeEntryPoints().createProfileManager(manager.put());
    if (FAILED(hr)) return hr;
    if (!manager) return E_POINTER;
    win::ComPtr<IWMProfile> built;
    hr = manager->CreateEmptyProfile(WMT_VER_9_0, built.put());
    if (FAILED(hr)) return hr;
    if (!built) return E_POINTER;

    EncoderSettings defaults{};
    if (!settings) {
        hr = FillDefaultEncoderSettings(format, &defaults);
        settings = &defaults;
    }
    UINT32 n = 0;
    if (SUCCEEDED(hr) && format->videoEnabled) {
        hr = CreateVideoStream(settings->video, built.get(), n);
        if (SUCCEEDED(hr)) ++n;
    }
    if (SUCCEEDED(hr) && format->audioEnabled) {
        hr = CreateAudioStream(settings->audio, built.get(), n);
        if (SUCCEEDED(hr)) ++n;
    }
    if (SUCCEEDED(hr) && format->scriptEnabled) hr = CreateScriptStream(settings->script, built.get(), n);

    *profile = built.detach();
    return hr;
}

}  // namespace ombrel
