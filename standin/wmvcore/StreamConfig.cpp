// The stream configuration object: IWMStreamConfig (2, 3), IWMMediaProps, IWMVideoMediaProps
// (video streams only) and IWMPropertyVault over one StreamData.
#include <cwchar>

#include "standin/wmvcore/ComSupport.h"
#include "standin/wmvcore/Objects.h"
#include "win/CriticalSection.h"

namespace wmstandin {
namespace {

// Answered only by this runtime's stream configurations: the object itself, for copies.
const IID kIidStreamConfigData = {0x6f1b7a52, 0x3c2e, 0x4d8a, {0x9b, 0x41, 0x0e, 0x5c, 0x77, 0x20, 0x13, 0xa9}};

struct StreamConfig final : IWMStreamConfig3, IWMVideoMediaProps, IWMPropertyVault {
    RefCount refs;
    win::CriticalSection lock;
    StreamData data;

    explicit StreamConfig(const StreamData& from) : data(from) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWMStreamConfig) ||
            IsEqualIID(iid, IID_IWMStreamConfig2) || IsEqualIID(iid, IID_IWMStreamConfig3) ||
            IsEqualIID(iid, kIidStreamConfigData))
            *out = static_cast<IWMStreamConfig3*>(this);
        else if (IsEqualIID(iid, IID_IWMMediaProps))
            *out = static_cast<IWMVideoMediaProps*>(this);
        else if (IsEqualIID(iid, IID_IWMVideoMediaProps) && IsEqualGUID(data.streamType, WMMEDIATYPE_Video))
            *out = static_cast<IWMVideoMediaProps*>(this);
        else if (IsEqualIID(iid, IID_IWMPropertyVault))
            *out = static_cast<IWMPropertyVault*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs.Release(this); }

    // IWMStreamConfig
    HRESULT STDMETHODCALLTYPE GetStreamType(GUID* type) override {
        if (!type) return E_POINTER;
        *type = data.streamType;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamNumber(WORD* number) override {
        if (!number) return E_POINTER;
        win::CsLock hold(lock);
        *number = data.number;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetStreamNumber(WORD number) override {
        if (number == 0 || number > 63) return E_INVALIDARG;
        win::CsLock hold(lock);
        data.number = number;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamName(WCHAR* name, WORD* count) override {
        win::CsLock hold(lock);
        return CopyText(data.name, name, count);
    }
    HRESULT STDMETHODCALLTYPE SetStreamName(LPCWSTR_WMSDK_TYPE_SAFE name) override {
        if (!name) return E_POINTER;
        return Guard([&] {
            win::CsLock hold(lock);
            data.name = name;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR* name, WORD* count) override {
        win::CsLock hold(lock);
        return CopyText(data.connectionName, name, count);
    }
    HRESULT STDMETHODCALLTYPE SetConnectionName(LPCWSTR_WMSDK_TYPE_SAFE name) override {
        if (!name) return E_POINTER;
        return Guard([&] {
            win::CsLock hold(lock);
            data.connectionName = name;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetBitrate(DWORD* bitrate) override {
        if (!bitrate) return E_POINTER;
        win::CsLock hold(lock);
        *bitrate = data.bitrate;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetBitrate(DWORD bitrate) override {
        win::CsLock hold(lock);
        data.bitrate = bitrate;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferWindow(DWORD* window) override {
        if (!window) return E_POINTER;
        win::CsLock hold(lock);
        *window = data.bufferWindow;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetBufferWindow(DWORD window) override {
        win::CsLock hold(lock);
        data.bufferWindow = window;
        return S_OK;
    }

    // IWMStreamConfig2
    HRESULT STDMETHODCALLTYPE GetTransportType(WMT_TRANSPORT_TYPE* type) override {
        if (!type) return E_POINTER;
        win::CsLock hold(lock);
        *type = data.transport;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTransportType(WMT_TRANSPORT_TYPE type) override {
        if (type != WMT_Transport_Type_Unreliable && type != WMT_Transport_Type_Reliable) return E_INVALIDARG;
        win::CsLock hold(lock);
        data.transport = type;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddDataUnitExtension(GUID system, WORD dataSize, BYTE* info, DWORD infoSize) override {
        if (infoSize && !info) return E_POINTER;
        return Guard([&] {
            StreamData::Extension extension;
            extension.system = system;
            extension.dataSize = dataSize;
            if (infoSize) extension.info.assign(info, info + infoSize);
            win::CsLock hold(lock);
            data.extensions.push_back(std::move(extension));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetDataUnitExtensionCount(WORD* count) override {
        if (!count) return E_POINTER;
        win::CsLock hold(lock);
        *count = static_cast<WORD>(data.extensions.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataUnitExtension(WORD index, GUID* system, WORD* dataSize, BYTE* info,
                                                   DWORD* infoSize) override {
        if (!system || !dataSize || !infoSize) return E_POINTER;
        win::CsLock hold(lock);
        if (index >= data.extensions.size()) return E_INVALIDARG;
        const StreamData::Extension& extension = data.extensions[index];
        *system = extension.system;
        *dataSize = extension.dataSize;
        return CopyValue(WMT_TYPE_BINARY, extension.info, nullptr, info, infoSize);
    }
    HRESULT STDMETHODCALLTYPE RemoveAllDataUnitExtensions() override {
        win::CsLock hold(lock);
        data.extensions.clear();
        return S_OK;
    }

    // IWMStreamConfig3
    HRESULT STDMETHODCALLTYPE GetLanguage(WCHAR* language, WORD* count) override {
        win::CsLock hold(lock);
        return CopyText(data.language, language, count);
    }
    HRESULT STDMETHODCALLTYPE SetLanguage(LPCWSTR_WMSDK_TYPE_SAFE language) override {
        return Guard([&] {
            win::CsLock hold(lock);
            data.language = TextOrEmpty(language);
            return S_OK;
        });
    }

    // IWMMediaProps
    HRESULT STDMETHODCALLTYPE GetType(GUID* type) override {
        if (!type) return E_POINTER;
        *type = data.streamType;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override {
        win::CsLock hold(lock);
        if (!data.hasMediaType) return NS_E_INVALID_REQUEST;
        return CopyMediaTypeOut(data.mediaType, data.format, type, size);
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE* type) override {
        if (!type) return E_POINTER;
        if (!IsEqualGUID(type->majortype, data.streamType)) return NS_E_INCOMPATIBLE_FORMAT;
        return Guard([&] {
            WM_MEDIA_TYPE copy{};
            std::vector<BYTE> format;
            HRESULT hr = CopyMediaTypeIn(type, &copy, &format);
            if (FAILED(hr)) return hr;
            win::CsLock hold(lock);
            data.mediaType = copy;
            data.format.swap(format);
            data.hasMediaType = true;
            return S_OK;
        });
    }

    // IWMVideoMediaProps
    HRESULT STDMETHODCALLTYPE GetMaxKeyFrameSpacing(LONGLONG* time) override {
        if (!time) return E_POINTER;
        win::CsLock hold(lock);
        *time = data.maxKeyFrameSpacing;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMaxKeyFrameSpacing(LONGLONG time) override {
        if (time < 0) return E_INVALIDARG;
        win::CsLock hold(lock);
        data.maxKeyFrameSpacing = time;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetQuality(DWORD* quality) override {
        if (!quality) return E_POINTER;
        win::CsLock hold(lock);
        *quality = data.quality;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetQuality(DWORD quality) override {
        if (quality > 100) return E_INVALIDARG;
        win::CsLock hold(lock);
        data.quality = quality;
        return S_OK;
    }

    // IWMPropertyVault
    HRESULT STDMETHODCALLTYPE GetPropertyCount(DWORD* count) override {
        if (!count) return E_POINTER;
        win::CsLock hold(lock);
        *count = static_cast<DWORD>(data.properties.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyByName(const WCHAR* name, WMT_ATTR_DATATYPE* type, BYTE* value,
                                                DWORD* size) override {
        if (!name || !type || !size) return E_POINTER;
        win::CsLock hold(lock);
        for (const StreamData::Property& property : data.properties)
            if (property.name == name) return CopyValue(property.type, property.value, type, value, size);
        return NS_E_UNSUPPORTED_PROPERTY;
    }
    HRESULT STDMETHODCALLTYPE SetProperty(const WCHAR* name, WMT_ATTR_DATATYPE type, BYTE* value,
                                          DWORD size) override {
        if (!name) return E_POINTER;
        if (!*name || !IsKnownType(type)) return E_INVALIDARG;
        if (size && !value) return E_POINTER;
        DWORD fixed = FixedValueSize(type);
        if (fixed && size != fixed) return E_INVALIDARG;
        return Guard([&] {
            std::vector<BYTE> bytes(value, value + size);
            win::CsLock hold(lock);
            for (StreamData::Property& property : data.properties) {
                if (property.name == name) {
                    property.type = type;
                    property.value.swap(bytes);
                    return S_OK;
                }
            }
            data.properties.push_back({name, type, std::move(bytes)});
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetPropertyByIndex(DWORD index, WCHAR* name, DWORD* length, WMT_ATTR_DATATYPE* type,
                                                 BYTE* value, DWORD* size) override {
        if (!length || !type || !size) return E_POINTER;
        win::CsLock hold(lock);
        if (index >= data.properties.size()) return E_INVALIDARG;
        const StreamData::Property& property = data.properties[index];
        DWORD nameLength = *length;
        HRESULT hr = CopyText(property.name, name, &nameLength);
        HRESULT hrValue = CopyValue(property.type, property.value, type, value, size);
        *length = nameLength;
        return FAILED(hr) ? hr : hrValue;
    }
    HRESULT STDMETHODCALLTYPE CopyPropertiesFrom(IWMPropertyVault*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clear() override {
        win::CsLock hold(lock);
        data.properties.clear();
        return S_OK;
    }
};

}  // namespace

DWORD MediaTypeSize(const StreamData& data) noexcept {
    return static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + data.format.size());
}

HRESULT CopyMediaTypeOut(const WM_MEDIA_TYPE& type, const std::vector<BYTE>& format, WM_MEDIA_TYPE* out,
                         DWORD* size) noexcept {
    if (!size) return E_POINTER;
    const DWORD needed = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + format.size());
    if (!out) {
        *size = needed;
        return S_OK;
    }
    if (*size < needed) {
        *size = needed;
        return kBufferTooSmall;
    }
    *out = type;
    out->pUnk = nullptr;
    out->cbFormat = static_cast<ULONG>(format.size());
    out->pbFormat = format.empty() ? nullptr : reinterpret_cast<BYTE*>(out + 1);
    if (!format.empty()) std::memcpy(out->pbFormat, format.data(), format.size());
    *size = needed;
    return S_OK;
}

HRESULT CopyMediaTypeIn(const WM_MEDIA_TYPE* in, WM_MEDIA_TYPE* type, std::vector<BYTE>* format) {
    if (!in) return E_POINTER;
    if (in->cbFormat && !in->pbFormat) return E_INVALIDARG;
    if (in->cbFormat > 0x100000) return E_INVALIDARG;
    *type = *in;
    type->pUnk = nullptr;
    type->pbFormat = nullptr;
    format->assign(in->pbFormat, in->pbFormat + in->cbFormat);
    return S_OK;
}

HRESULT CreateStreamConfig(const StreamData& data, IWMStreamConfig** config) noexcept {
    if (!config) return E_POINTER;
    *config = nullptr;
    return Guard([&] {
        *config = static_cast<IWMStreamConfig3*>(new StreamConfig(data));
        return S_OK;
    });
}

HRESULT ReadStreamData(IUnknown* config, StreamData* data) noexcept {
    if (!config || !data) return E_POINTER;
    IUnknown* own = nullptr;
    if (FAILED(config->QueryInterface(kIidStreamConfigData, reinterpret_cast<void**>(&own))) || !own)
        return E_INVALIDARG;
    auto* object = static_cast<StreamConfig*>(static_cast<IWMStreamConfig3*>(own));
    HRESULT hr = Guard([&] {
        win::CsLock hold(object->lock);
        *data = object->data;
        return S_OK;
    });
    own->Release();
    return hr;
}

}  // namespace wmstandin
