// The objects of the runtime stand-in, one struct per runtime object, each answering
// QueryInterface for exactly the interfaces it lists.
#include "tests/common/FakeRuntime.h"

#include <mmreg.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ombrel::test::fake {
namespace {

std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}

std::string IidName(REFIID iid) {
    struct Known {
        const IID* iid;
        const char* name;
    };
    static const Known kKnown[] = {
        {&IID_IUnknown, "IUnknown"},
        {&IID_IWMWriter, "IWMWriter"},
        {&IID_IWMWriterAdvanced, "IWMWriterAdvanced"},
        {&IID_IWMHeaderInfo, "IWMHeaderInfo"},
        {&IID_IWMWriterSink, "IWMWriterSink"},
        {&IID_IWMWriterNetworkSink, "IWMWriterNetworkSink"},
        {&IID_IWMWriterFileSink, "IWMWriterFileSink"},
        {&IID_IWMClientConnections, "IWMClientConnections"},
        {&IID_IWMRegisterCallback, "IWMRegisterCallback"},
        {&IID_INSSBuffer, "INSSBuffer"},
        {&IID_IWMProfileManager, "IWMProfileManager"},
        {&IID_IWMCodecInfo, "IWMCodecInfo"},
        {&IID_IWMCodecInfo2, "IWMCodecInfo2"},
        {&IID_IWMCodecInfo3, "IWMCodecInfo3"},
        {&IID_IWMProfile, "IWMProfile"},
        {&IID_IWMStreamConfig, "IWMStreamConfig"},
        {&IID_IWMStreamConfig2, "IWMStreamConfig2"},
        {&IID_IWMStreamConfig3, "IWMStreamConfig3"},
        {&IID_IWMMediaProps, "IWMMediaProps"},
        {&IID_IWMVideoMediaProps, "IWMVideoMediaProps"},
        {&IID_IWMInputMediaProps, "IWMInputMediaProps"},
        {&IID_IWMPropertyVault, "IWMPropertyVault"},
    };
    for (const Known& known : kKnown)
        if (IsEqualGUID(iid, *known.iid)) return known.name;
    return GuidName(iid);
}

Runtime& Rt() { return Runtime::Current(); }

// Records a call and, unless the log makes it fail, does what it does: a setter keeps its value,
// a getter fills its out-parameter.
template <typename Then>
HRESULT RecordThen(const std::string& call, const std::string& args, Then then) {
    const HRESULT hr = Rt().Record(call, args);
    if (SUCCEEDED(hr)) then();
    return hr;
}

constexpr HRESULT kBufferTooSmall = static_cast<HRESULT>(0xC00D07D5);  // ASF_E_BUFFERTOOSMALL

// Reference counting shared by every stand-in object.
#define FAKE_REFCOUNT                                                                          \
    LONG refs_ = 1;                                                                            \
    ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs_); }       \
    ULONG STDMETHODCALLTYPE Release() override {                                               \
        LONG left = ::InterlockedDecrement(&refs_);                                            \
        if (left == 0) delete this;                                                            \
        return left;                                                                           \
    }

#define UNEXPECTED(name) \
    { return Rt().Unexpected(name); }

template <typename T>
HRESULT Answer(T* face, void** out) {
    face->AddRef();
    *out = face;
    return S_OK;
}

HRESULT QueryRecord(const char* object, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Rt().Record(std::string(object) + ".QueryInterface", IidName(iid));
}

struct Counted {
    Counted() { Rt().ObjectCreated(); }
    virtual ~Counted() { Rt().ObjectDestroyed(); }
};

// ---------------------------------------------------------------- INSSBuffer
struct FakeBuffer final : Counted, INSSBuffer {
    explicit FakeBuffer(DWORD size) : data_(size ? size : 1), length_(size) {}
    FAKE_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        HRESULT hr = QueryRecord("Sample", iid, out);
        if (FAILED(hr)) return hr;
        if (iid == IID_IUnknown || iid == IID_INSSBuffer) return Answer<INSSBuffer>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetLength(DWORD*) override UNEXPECTED("Sample.GetLength")
    HRESULT STDMETHODCALLTYPE SetLength(DWORD length) override {
        return RecordThen("Sample.SetLength", Format("%lu", length), [&] { length_ = length; });
    }
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD*) override UNEXPECTED("Sample.GetMaxLength")
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE**) override UNEXPECTED("Sample.GetBuffer")
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        HRESULT hr = Rt().Record("Sample.GetBufferAndLength");
        if (FAILED(hr)) return hr;
        *buffer = data_.data();
        *length = length_;
        return hr;
    }
    std::vector<BYTE> Written() const { return std::vector<BYTE>(data_.begin(), data_.begin() + length_); }

    std::vector<BYTE> data_;
    DWORD length_;
};

// ---------------------------------------------------------------- stream configuration
// A profile stream, a codec format and a writer input are all this one object kind; label
// names it in the log.
struct FakeStreamConfig final : Counted, IWMStreamConfig3, IWMVideoMediaProps, IWMPropertyVault {
    FakeStreamConfig(const char* label, const GUID& type) : label_(label) { stream_.type = type; }
    FAKE_REFCOUNT

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        HRESULT hr = QueryRecord(label_, iid, out);
        if (FAILED(hr)) return hr;
        if (iid == IID_IUnknown || iid == IID_IWMStreamConfig || iid == IID_IWMStreamConfig2 ||
            iid == IID_IWMStreamConfig3)
            return Answer<IWMStreamConfig3>(this, out);
        if (iid == IID_IWMMediaProps || iid == IID_IWMVideoMediaProps) return Answer<IWMVideoMediaProps>(this, out);
        if (iid == IID_IWMPropertyVault) return Answer<IWMPropertyVault>(this, out);
        return E_NOINTERFACE;
    }
    std::string Name(const char* method) const { return std::string(label_) + "." + method; }

    // IWMStreamConfig
    HRESULT STDMETHODCALLTYPE GetStreamType(GUID*) override UNEXPECTED(Name("GetStreamType"))
    HRESULT STDMETHODCALLTYPE GetStreamNumber(WORD*) override UNEXPECTED(Name("GetStreamNumber"))
    HRESULT STDMETHODCALLTYPE SetStreamNumber(WORD) override UNEXPECTED(Name("SetStreamNumber"))
    HRESULT STDMETHODCALLTYPE GetStreamName(WCHAR*, WORD*) override UNEXPECTED(Name("GetStreamName"))
    HRESULT STDMETHODCALLTYPE SetStreamName(LPCWSTR name) override {
        return RecordThen(Name("SetStreamName"), Narrow(name), [&] { stream_.name = name; });
    }
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR* buffer, WORD* length) override {
        HRESULT hr = Rt().Record(Name("GetConnectionName"), buffer ? Format("buffer, %u", *length) : "null");
        if (FAILED(hr)) return hr;
        WORD needed = static_cast<WORD>(stream_.connectionName.size() + 1);
        if (!buffer) {
            *length = needed;
            return S_OK;
        }
        if (*length < needed) {
            *length = needed;
            return kBufferTooSmall;
        }
        std::memcpy(buffer, stream_.connectionName.c_str(), needed * sizeof(WCHAR));
        *length = needed;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetConnectionName(LPCWSTR name) override {
        return RecordThen(Name("SetConnectionName"), Narrow(name), [&] { stream_.connectionName = name; });
    }
    HRESULT STDMETHODCALLTYPE GetBitrate(DWORD* bitrate) override {
        return RecordThen(Name("GetBitrate"), "", [&] { *bitrate = stream_.bitrate; });
    }
    HRESULT STDMETHODCALLTYPE SetBitrate(DWORD bitrate) override {
        return RecordThen(Name("SetBitrate"), Format("%lu", bitrate), [&] { stream_.bitrate = bitrate; });
    }
    HRESULT STDMETHODCALLTYPE GetBufferWindow(DWORD*) override UNEXPECTED(Name("GetBufferWindow"))
    HRESULT STDMETHODCALLTYPE SetBufferWindow(DWORD window) override {
        return RecordThen(Name("SetBufferWindow"), Format("%lu", window), [&] { stream_.bufferWindow = window; });
    }
    // IWMStreamConfig2
    HRESULT STDMETHODCALLTYPE GetTransportType(WMT_TRANSPORT_TYPE*) override UNEXPECTED(Name("GetTransportType"))
    HRESULT STDMETHODCALLTYPE SetTransportType(WMT_TRANSPORT_TYPE) override UNEXPECTED(Name("SetTransportType"))
    HRESULT STDMETHODCALLTYPE AddDataUnitExtension(GUID extension, WORD size, BYTE* info, DWORD infoSize) override {
        HRESULT hr = Rt().Record(Name("AddDataUnitExtension"),
                                 Format("%s, %u, %s, %lu", GuidName(extension).c_str(), size, info ? "info" : "null",
                                        infoSize));
        if (SUCCEEDED(hr)) stream_.extensions.emplace_back(extension, size);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetDataUnitExtensionCount(WORD* count) override {
        return RecordThen(Name("GetDataUnitExtensionCount"), "",
                          [&] { *count = static_cast<WORD>(stream_.extensions.size()); });
    }
    HRESULT STDMETHODCALLTYPE GetDataUnitExtension(WORD index, GUID* extension, WORD* size, BYTE*,
                                                   DWORD* infoSize) override {
        HRESULT hr = Rt().Record(Name("GetDataUnitExtension"), Format("%u", index));
        if (FAILED(hr)) return hr;
        if (index >= stream_.extensions.size()) return E_INVALIDARG;
        *extension = stream_.extensions[index].first;
        *size = stream_.extensions[index].second;
        *infoSize = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RemoveAllDataUnitExtensions() override UNEXPECTED(Name("RemoveAllDataUnitExtensions"))
    // IWMStreamConfig3
    HRESULT STDMETHODCALLTYPE GetLanguage(WCHAR*, WORD*) override UNEXPECTED(Name("GetLanguage"))
    HRESULT STDMETHODCALLTYPE SetLanguage(LPCWSTR language) override {
        return RecordThen(Name("SetLanguage"), Narrow(language), [&] { stream_.language = language; });
    }
    // IWMMediaProps, IWMVideoMediaProps
    HRESULT STDMETHODCALLTYPE GetType(GUID*) override UNEXPECTED(Name("GetType"))
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override {
        HRESULT hr = Rt().Record(Name("GetMediaType"), type ? Format("buffer, %lu", *size) : "null");
        if (FAILED(hr)) return hr;
        DWORD needed = static_cast<DWORD>(stream_.mediaType.size());
        if (!type) {
            *size = needed;
            return S_OK;
        }
        if (*size < needed) return kBufferTooSmall;
        std::memcpy(type, stream_.mediaType.data(), needed);
        type->pbFormat = type->cbFormat ? reinterpret_cast<BYTE*>(type + 1) : nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE* type) override {
        return RecordThen(Name("SetMediaType"), type ? GuidName(type->majortype) : "null",
                          [&] { stream_.mediaType = MediaTypeBytes(type); });
    }
    HRESULT STDMETHODCALLTYPE GetMaxKeyFrameSpacing(LONGLONG*) override UNEXPECTED(Name("GetMaxKeyFrameSpacing"))
    HRESULT STDMETHODCALLTYPE SetMaxKeyFrameSpacing(LONGLONG time) override {
        return RecordThen(Name("SetMaxKeyFrameSpacing"), Format("%lld", time),
                          [&] { stream_.maxKeyFrameSpacing = time; });
    }
    HRESULT STDMETHODCALLTYPE GetQuality(DWORD*) override UNEXPECTED(Name("GetQuality"))
    HRESULT STDMETHODCALLTYPE SetQuality(DWORD quality) override {
        return RecordThen(Name("SetQuality"), Format("%lu", quality), [&] { stream_.quality = quality; });
    }
    // IWMPropertyVault
    HRESULT STDMETHODCALLTYPE GetPropertyCount(DWORD*) override UNEXPECTED(Name("GetPropertyCount"))
    HRESULT STDMETHODCALLTYPE GetPropertyByName(const WCHAR*, WMT_ATTR_DATATYPE*, BYTE*, DWORD*) override
        UNEXPECTED(Name("GetPropertyByName"))
    HRESULT STDMETHODCALLTYPE SetProperty(const WCHAR* name, WMT_ATTR_DATATYPE type, BYTE* value, DWORD size) override {
        std::string shown;
        if (type == WMT_TYPE_STRING)
            shown = value ? Narrow(reinterpret_cast<const WCHAR*>(value)) : "null";
        else if (size == 4 && value)
            shown = Format("%lu", *reinterpret_cast<DWORD*>(value));
        HRESULT hr =
            Rt().Record(Name("SetProperty"), Format("%s, %d, %s, %lu", Narrow(name).c_str(), type, shown.c_str(), size));
        if (SUCCEEDED(hr)) stream_.properties[name] = value ? std::vector<BYTE>(value, value + size) : std::vector<BYTE>();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyByIndex(DWORD, WCHAR*, DWORD*, WMT_ATTR_DATATYPE*, BYTE*, DWORD*) override
        UNEXPECTED(Name("GetPropertyByIndex"))
    HRESULT STDMETHODCALLTYPE CopyPropertiesFrom(IWMPropertyVault*) override UNEXPECTED(Name("CopyPropertiesFrom"))
    HRESULT STDMETHODCALLTYPE Clear() override UNEXPECTED(Name("Clear"))

    const char* label_;
    AddedStream stream_;
};

// A writer input: its media properties answer for the stream configuration as well, which
// carries the input's connection name.
struct FakeInputProps final : Counted, IWMInputMediaProps, IWMStreamConfig {
    explicit FakeInputProps(const std::wstring& connection) : connection_(connection) {}
    FAKE_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        HRESULT hr = QueryRecord("Input", iid, out);
        if (FAILED(hr)) return hr;
        if (iid == IID_IUnknown || iid == IID_IWMMediaProps || iid == IID_IWMInputMediaProps)
            return Answer<IWMInputMediaProps>(this, out);
        if (iid == IID_IWMStreamConfig) return Answer<IWMStreamConfig>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetType(GUID*) override UNEXPECTED("Input.GetType")
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override {
        HRESULT hr = Rt().Record("Input.GetMediaType", type ? Format("buffer, %lu", *size) : "null");
        if (FAILED(hr)) return hr;
        const DWORD needed = static_cast<DWORD>(mediaType_.size());
        if (!type) {
            *size = needed;
            return S_OK;
        }
        if (*size < needed) return kBufferTooSmall;
        std::memcpy(type, mediaType_.data(), needed);
        type->pbFormat = type->cbFormat ? reinterpret_cast<BYTE*>(type + 1) : nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE* type) override {
        return RecordThen("Input.SetMediaType", Narrow(connection_.c_str()),
                          [&] { mediaType_ = MediaTypeBytes(type); });
    }
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR* buffer, WORD* length) override {
        HRESULT hr = Rt().Record("Input.GetConnectionName", buffer ? Format("buffer, %u", *length) : "null");
        if (FAILED(hr)) return hr;
        WORD needed = static_cast<WORD>(connection_.size() + 1);
        if (!buffer) {
            *length = needed;
            return S_OK;
        }
        if (*length < needed) return kBufferTooSmall;
        std::memcpy(buffer, connection_.c_str(), needed * sizeof(WCHAR));
        *length = needed;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetGroupName(WCHAR*, WORD*) override UNEXPECTED("Input.GetGroupName")
    HRESULT STDMETHODCALLTYPE GetStreamType(GUID*) override UNEXPECTED("Input.GetStreamType")
    HRESULT STDMETHODCALLTYPE GetStreamNumber(WORD*) override UNEXPECTED("Input.GetStreamNumber")
    HRESULT STDMETHODCALLTYPE SetStreamNumber(WORD) override UNEXPECTED("Input.SetStreamNumber")
    HRESULT STDMETHODCALLTYPE GetStreamName(WCHAR*, WORD*) override UNEXPECTED("Input.GetStreamName")
    HRESULT STDMETHODCALLTYPE SetStreamName(LPCWSTR) override UNEXPECTED("Input.SetStreamName")
    HRESULT STDMETHODCALLTYPE SetConnectionName(LPCWSTR) override UNEXPECTED("Input.SetConnectionName")
    HRESULT STDMETHODCALLTYPE GetBitrate(DWORD*) override UNEXPECTED("Input.GetBitrate")
    HRESULT STDMETHODCALLTYPE SetBitrate(DWORD) override UNEXPECTED("Input.SetBitrate")
    HRESULT STDMETHODCALLTYPE GetBufferWindow(DWORD*) override UNEXPECTED("Input.GetBufferWindow")
    HRESULT STDMETHODCALLTYPE SetBufferWindow(DWORD) override UNEXPECTED("Input.SetBufferWindow")

    std::wstring connection_;
    std::vector<BYTE> mediaType_;
};

// ---------------------------------------------------------------- profile
struct FakeProfile final : Counted, IWMProfile {
    FakeProfile() : index_(Rt().profileConnectionNames.size()) { Rt().profileConnectionNames.emplace_back(); }
    FAKE_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        HRESULT hr = QueryRecord("Profile", iid, out);
        if (FAILED(hr)) return hr;
        if (iid == IID_IUnknown || iid == IID_IWMProfile) return Answer<IWMProfile>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetVersion(WMT_VERSION*) override UNEXPECTED("Profile.GetVersion")
    HRESULT STDMETHODCALLTYPE GetName(WCHAR*, DWORD*) override UNEXPECTED("Profile.GetName")
    HRESULT STDMETHODCALLTYPE SetName(const WCHAR*) override UNEXPECTED("Profile.SetName")
    HRESULT STDMETHODCALLTYPE GetDescription(WCHAR*, DWORD*) override UNEXPECTED("Profile.GetDescription")
    HRESULT STDMETHODCALLTYPE SetDescription(const WCHAR*) override UNEXPECTED("Profile.SetDescription")
    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD*) override UNEXPECTED("Profile.GetStreamCount")
    HRESULT STDMETHODCALLTYPE GetStream(DWORD, IWMStreamConfig**) override UNEXPECTED("Profile.GetStream")
    HRESULT STDMETHODCALLTYPE GetStreamByNumber(WORD, IWMStreamConfig**) override UNEXPECTED("Profile.GetStreamByNumber")
    HRESULT STDMETHODCALLTYPE RemoveStream(IWMStreamConfig*) override UNEXPECTED("Profile.RemoveStream")
    HRESULT STDMETHODCALLTYPE RemoveStreamByNumber(WORD) override UNEXPECTED("Profile.RemoveStreamByNumber")
    HRESULT STDMETHODCALLTYPE AddStream(IWMStreamConfig* config) override {
        auto* stream = dynamic_cast<FakeStreamConfig*>(config);
        if (!stream) return Rt().Unexpected("Profile.AddStream of a foreign stream");
        HRESULT hr = Rt().Record("Profile.AddStream", Narrow(stream->stream_.name.c_str()));
        if (FAILED(hr)) return hr;
        Rt().addedStreams.push_back(stream->stream_);
        Rt().profileConnectionNames[index_].push_back(stream->stream_.connectionName);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReconfigStream(IWMStreamConfig*) override UNEXPECTED("Profile.ReconfigStream")
    HRESULT STDMETHODCALLTYPE CreateNewStream(REFGUID type, IWMStreamConfig** config) override {
        HRESULT hr = Rt().Record("Profile.CreateNewStream", GuidName(type));
        if (FAILED(hr)) return hr;
        *config = new FakeStreamConfig("Stream", type);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetMutualExclusionCount(DWORD*) override UNEXPECTED("Profile.GetMutualExclusionCount")
    HRESULT STDMETHODCALLTYPE GetMutualExclusion(DWORD, IWMMutualExclusion**) override
        UNEXPECTED("Profile.GetMutualExclusion")
    HRESULT STDMETHODCALLTYPE RemoveMutualExclusion(IWMMutualExclusion*) override
        UNEXPECTED("Profile.RemoveMutualExclusion")
    HRESULT STDMETHODCALLTYPE AddMutualExclusion(IWMMutualExclusion*) override UNEXPECTED("Profile.AddMutualExclusion")
    HRESULT STDMETHODCALLTYPE CreateNewMutualExclusion(IWMMutualExclusion**) override
        UNEXPECTED("Profile.CreateNewMutualExclusion")

    size_t index_;
};

// ---------------------------------------------------------------- profile manager, codec info
struct FakeProfileManager final : Counted, IWMProfileManager, IWMCodecInfo3 {
    FAKE_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        HRESULT hr = QueryRecord("Manager", iid, out);
        if (FAILED(hr)) return hr;
        if (iid == IID_IUnknown || iid == IID_IWMProfileManager) return Answer<IWMProfileManager>(this, out);
        if (iid == IID_IWMCodecInfo || iid == IID_IWMCodecInfo2 || iid == IID_IWMCodecInfo3)
            return Answer<IWMCodecInfo3>(this, out);
        return E_NOINTERFACE;
    }
    // IWMProfileManager
    HRESULT STDMETHODCALLTYPE CreateEmptyProfile(WMT_VERSION version, IWMProfile** profile) override {
        HRESULT hr = Rt().Record("Manager.CreateEmptyProfile", Format("0x%x", version));
        if (FAILED(hr)) return hr;
        *profile = new FakeProfile();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LoadProfileByID(REFGUID, IWMProfile**) override UNEXPECTED("Manager.LoadProfileByID")
    HRESULT STDMETHODCALLTYPE LoadProfileByData(const WCHAR*, IWMProfile**) override
        UNEXPECTED("Manager.LoadProfileByData")
    HRESULT STDMETHODCALLTYPE SaveProfile(IWMProfile*, WCHAR*, DWORD*) override UNEXPECTED("Manager.SaveProfile")
    HRESULT STDMETHODCALLTYPE GetSystemProfileCount(DWORD*) override UNEXPECTED("Manager.GetSystemProfileCount")
    HRESULT STDMETHODCALLTYPE LoadSystemProfile(DWORD, IWMProfile**) override UNEXPECTED("Manager.LoadSystemProfile")

    // The codecs of one major type, in catalogue order.
    std::vector<const FakeCodec*> Codecs(REFGUID type) const {
        std::vector<const FakeCodec*> found;
        for (const FakeCodec& codec : Rt().codecs)
            if (IsEqualGUID(codec.majorType, type)) found.push_back(&codec);
        return found;
    }
    const FakeCodec* Codec(REFGUID type, DWORD index) const {
        auto codecs = Codecs(type);
        return index < codecs.size() ? codecs[index] : nullptr;
    }
    const std::vector<FakeFormat>* Formats(REFGUID type, DWORD index) {
        const FakeCodec* codec = Codec(type, index);
        if (!codec) return nullptr;
        static const std::vector<FakeFormat> kNone;
        auto key = std::make_pair(GuidName(type), index);
        if (passes_[key] > 1) return vbr_[key] ? &codec->twoPassVbrFormats : &kNone;
        return vbr_[key] ? &codec->vbrFormats : &codec->cbrFormats;
    }

    // IWMCodecInfo, 2, 3
    HRESULT STDMETHODCALLTYPE GetCodecInfoCount(REFGUID type, DWORD* count) override {
        return RecordThen("CodecInfo.GetCodecInfoCount", GuidName(type),
                          [&] { *count = static_cast<DWORD>(Codecs(type).size()); });
    }
    HRESULT STDMETHODCALLTYPE GetCodecFormatCount(REFGUID type, DWORD codec, DWORD* count) override {
        HRESULT hr = Rt().Record("CodecInfo.GetCodecFormatCount", Format("%s, %lu", GuidName(type).c_str(), codec));
        if (FAILED(hr)) return hr;
        auto* formats = Formats(type, codec);
        if (!formats) return E_INVALIDARG;
        *count = static_cast<DWORD>(formats->size());
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetCodecFormat(REFGUID type, DWORD codec, DWORD format, IWMStreamConfig** config) override {
        HRESULT hr = Rt().Record("CodecInfo.GetCodecFormat",
                                 Format("%s, %lu, %lu", GuidName(type).c_str(), codec, format));
        if (FAILED(hr)) return hr;
        auto* formats = Formats(type, codec);
        if (!formats || format >= formats->size()) return E_INVALIDARG;
        const FakeFormat& chosen = (*formats)[format];
        auto* made = new FakeStreamConfig("Format", type);
        made->stream_.bitrate = chosen.bitrate;
        made->stream_.name = chosen.description;
        WM_MEDIA_TYPE mt{};
        mt.majortype = type;
        if (IsEqualGUID(type, WMMEDIATYPE_Video)) {
            WMVIDEOINFOHEADER header{};
            header.dwBitRate = chosen.bitrate;
            header.AvgTimePerFrame = 1;
            header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            header.bmiHeader.biCompression = 0x33564D57;  // WMV3
            mt.formattype = WMFORMAT_VideoInfo;
            mt.cbFormat = sizeof(header);
            mt.pbFormat = reinterpret_cast<BYTE*>(&header);
            made->stream_.mediaType = MediaTypeBytes(&mt);
        } else {
            WAVEFORMATEX wave{};
            wave.wFormatTag = 0x161;
            wave.nChannels = 2;
            wave.nSamplesPerSec = 44100;
            wave.nAvgBytesPerSec = chosen.bitrate / 8;
            mt.formattype = WMFORMAT_WaveFormatEx;
            mt.cbFormat = sizeof(wave);
            mt.pbFormat = reinterpret_cast<BYTE*>(&wave);
            made->stream_.mediaType = MediaTypeBytes(&mt);
        }
        *config = made;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetCodecName(REFGUID type, DWORD index, WCHAR* name, DWORD* length) override {
        HRESULT hr = Rt().Record("CodecInfo.GetCodecName", Format("%s, %lu, %s", GuidName(type).c_str(), index,
                                                                  name ? Format("%lu", *length).c_str() : "null"));
        if (FAILED(hr)) return hr;
        const FakeCodec* codec = Codec(type, index);
        if (!codec) return E_INVALIDARG;
        DWORD needed = static_cast<DWORD>(codec->name.size() + 1);
        if (!name) {
            *length = needed;
            return S_OK;
        }
        if (*length < needed) return kBufferTooSmall;
        std::memcpy(name, codec->name.c_str(), needed * sizeof(WCHAR));
        *length = needed;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCodecFormatDesc(REFGUID type, DWORD codec, DWORD format, IWMStreamConfig** config,
                                                 WCHAR* text, DWORD* length) override {
        HRESULT hr = Rt().Record("CodecInfo.GetCodecFormatDesc",
                                 Format("%s, %lu, %lu, %s, %s", GuidName(type).c_str(), codec, format,
                                        config ? "config" : "null", text ? Format("%lu", *length).c_str() : "null"));
        if (FAILED(hr)) return hr;
        auto* formats = Formats(type, codec);
        if (!formats || format >= formats->size()) return E_INVALIDARG;
        const std::wstring& description = (*formats)[format].description;
        DWORD needed = static_cast<DWORD>(description.size() + 1);
        if (!text) {
            *length = needed;
            return S_OK;
        }
        if (*length < needed) return kBufferTooSmall;
        std::memcpy(text, description.c_str(), needed * sizeof(WCHAR));
        *length = needed - 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCodecFormatProp(REFGUID, DWORD, DWORD, LPCWSTR, WMT_ATTR_DATATYPE*, BYTE*,
                                                 DWORD*) override UNEXPECTED("CodecInfo.GetCodecFormatProp")
    HRESULT STDMETHODCALLTYPE GetCodecProp(REFGUID type, DWORD index, LPCWSTR name, WMT_ATTR_DATATYPE* valueType,
                                           BYTE* value, DWORD* size) override {
        HRESULT hr = Rt().Record("CodecInfo.GetCodecProp",
                                 Format("%s, %lu, %s, %lu", GuidName(type).c_str(), index, Narrow(name).c_str(), *size));
        if (FAILED(hr)) return hr;
        const FakeCodec* codec = Codec(type, index);
        if (!codec || *size < 4) return E_INVALIDARG;
        DWORD found = std::wstring(name) == L"_COMPLEXITYEXLIVE" ? codec->complexityLive : codec->complexityOffline;
        *valueType = WMT_TYPE_DWORD;
        std::memcpy(value, &found, 4);
        *size = 4;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCodecEnumerationSetting(REFGUID type, DWORD index, LPCWSTR name,
                                                         WMT_ATTR_DATATYPE valueType, const BYTE* value,
                                                         DWORD size) override {
        DWORD number = size == 4 ? *reinterpret_cast<const DWORD*>(value) : 0xFFFFFFFF;
        HRESULT hr = Rt().Record("CodecInfo.SetCodecEnumerationSetting",
                                 Format("%s, %lu, %s, %d, %lu, %lu", GuidName(type).c_str(), index,
                                        Narrow(name).c_str(), valueType, number, size));
        if (FAILED(hr)) return hr;
        const FakeCodec* codec = Codec(type, index);
        if (!codec) return E_INVALIDARG;
        auto key = std::make_pair(GuidName(type), index);
        if (std::wstring(name) == L"_VBRENABLED") {
            if (!codec->knowsVbrSetting) return static_cast<HRESULT>(0xC00D0BCD);
            vbr_[key] = number != 0;
        } else {
            passes_[key] = number;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCodecEnumerationSetting(REFGUID, DWORD, LPCWSTR, WMT_ATTR_DATATYPE*, BYTE*,
                                                         DWORD*) override
        UNEXPECTED("CodecInfo.GetCodecEnumerationSetting")

    std::map<std::pair<std::string, DWORD>, bool> vbr_;
    std::map<std::pair<std::string, DWORD>, DWORD> passes_;
};

// ---------------------------------------------------------------- sinks
struct FakeNetworkSink final : Counted, IWMWriterNetworkSink, IWMClientConnections {
    FAKE_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        HRESULT hr = QueryRecord("NetworkSink", iid, out);
        if (FAILED(hr)) return hr;
        if (iid == IID_IUnknown || iid == IID_IWMWriterSink || iid == IID_IWMWriterNetworkSink)
            return Answer<IWMWriterNetworkSink>(this, out);
        if (iid == IID_IWMClientConnections) return Answer<IWMClientConnections>(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer*) override UNEXPECTED("NetworkSink.OnHeader")
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL*) override UNEXPECTED("NetworkSink.IsRealTime")
    HRESULT STDMETHODCALLTYPE AllocateDataUnit(DWORD, INSSBuffer**) override UNEXPECTED("NetworkSink.AllocateDataUnit")
    HRESULT STDMETHODCALLTYPE OnDataUnit(INSSBuffer*) override UNEXPECTED("NetworkSink.OnDataUnit")
    HRESULT STDMETHODCALLTYPE OnEndWriting() override UNEXPECTED("NetworkSink.OnEndWriting")
    HRESULT STDMETHODCALLTYPE SetMaximumClients(DWORD count) override {
        return Rt().Record("NetworkSink.SetMaximumClients", Format("%lu", count));
    }
    HRESULT STDMETHODCALLTYPE GetMaximumClients(DWORD*) override UNEXPECTED("NetworkSink.GetMaximumClients")
    HRESULT STDMETHODCALLTYPE SetNetworkProtocol(WMT_NET_PROTOCOL protocol) override {
        return Rt().Record("NetworkSink.SetNetworkProtocol", Format("%d", protocol));
    }
    HRESULT STDMETHODCALLTYPE GetNetworkProtocol(WMT_NET_PROTOCOL*) override UNEXPECTED("NetworkSink.GetNetworkProtocol")
    HRESULT STDMETHODCALLTYPE GetHostURL(WCHAR*, DWORD*) override UNEXPECTED("NetworkSink.GetHostURL")
    HRESULT STDMETHODCALLTYPE Open(DWORD* port) override {
        HRESULT hr = Rt().Record("NetworkSink.Open", Format("%lu", *port));
        if (FAILED(hr)) return hr;
        if (Rt().portAfterOpen) *port = Rt().portAfterOpen;
        Rt().networkSinkOpen = true;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override UNEXPECTED("NetworkSink.Disconnect")
    HRESULT STDMETHODCALLTYPE Close() override {
        return RecordThen("NetworkSink.Close", "", [&] { Rt().networkSinkOpen = false; });
    }
    HRESULT STDMETHODCALLTYPE GetClientCount(DWORD* count) override {
        return RecordThen("NetworkSink.GetClientCount", "", [&] { *count = Rt().clientCount; });
    }
    HRESULT STDMETHODCALLTYPE GetClientProperties(DWORD, WM_CLIENT_PROPERTIES*) override
        UNEXPECTED("NetworkSink.GetClientProperties")
};

struct FakeFileSink final : Counted, IWMWriterFileSink, IWMRegisterCallback {
    FAKE_REFCOUNT
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        HRESULT hr = QueryRecord("FileSink", iid, out);
        if (FAILED(hr)) return hr;
        if (iid == IID_IUnknown || iid == IID_IWMWriterSink || iid == IID_IWMWriterFileSink)
            return Answer<IWMWriterFileSink>(this, out);
        if (iid == IID_IWMRegisterCallback) return Answer<IWMRegisterCallback>(this, out);
        return E_NOINTERFACE;
    }
    // The one status callback a test can call as the runtime's sink would.
    HRESULT STDMETHODCALLTYPE Advise(IWMStatusCallback* callback, void*) override {
        HRESULT hr = Rt().Record("FileSink.Advise");
        if (FAILED(hr)) return hr;
        callback->AddRef();
        Rt().fileSinkStatus = callback;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(IWMStatusCallback* callback, void*) override {
        HRESULT hr = Rt().Record("FileSink.Unadvise");
        if (FAILED(hr)) return hr;
        if (Rt().fileSinkStatus != callback) return E_INVALIDARG;
        Rt().fileSinkStatus = nullptr;
        callback->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer*) override UNEXPECTED("FileSink.OnHeader")
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL*) override UNEXPECTED("FileSink.IsRealTime")
    HRESULT STDMETHODCALLTYPE AllocateDataUnit(DWORD, INSSBuffer**) override UNEXPECTED("FileSink.AllocateDataUnit")
    HRESULT STDMETHODCALLTYPE OnDataUnit(INSSBuffer*) override UNEXPECTED("FileSink.OnDataUnit")
    HRESULT STDMETHODCALLTYPE OnEndWriting() override UNEXPECTED("FileSink.OnEndWriting")
    HRESULT STDMETHODCALLTYPE Open(const WCHAR* path) override {
        HRESULT hr = Rt().Record("FileSink.Open", Narrow(path));
        Rt().fileSinkPaths.push_back(path);
        return hr;
    }
};

// ---------------------------------------------------------------- writer
struct FakeWriter final : Counted, IWMWriter, IWMWriterAdvanced, IWMHeaderInfo {
    FAKE_REFCOUNT
    // A writer gives up its profile and the sinks still added to it when it goes.
    ~FakeWriter() override {
        if (profile_) profile_->Release();
        for (IWMWriterSink* sink : sinks_) sink->Release();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        HRESULT hr = QueryRecord("Writer", iid, out);
        if (FAILED(hr)) return hr;
        if (iid == IID_IUnknown || iid == IID_IWMWriter) return Answer<IWMWriter>(this, out);
        if (iid == IID_IWMWriterAdvanced) return Answer<IWMWriterAdvanced>(this, out);
        if (iid == IID_IWMHeaderInfo && Rt().headerInfoAnswers) return Answer<IWMHeaderInfo>(this, out);
        return E_NOINTERFACE;
    }
    // The sinks are the stand-in's own objects: told apart without a logged query.
    static std::string SinkName(IWMWriterSink* sink) {
        if (!sink) return "null";
        if (dynamic_cast<FakeNetworkSink*>(sink)) return "NetworkSink";
        if (dynamic_cast<FakeFileSink*>(sink)) return "FileSink";
        return "foreign";
    }
    // IWMWriter
    HRESULT STDMETHODCALLTYPE SetProfileByID(REFGUID) override UNEXPECTED("Writer.SetProfileByID")
    HRESULT STDMETHODCALLTYPE SetProfile(IWMProfile* profile) override {
        HRESULT hr = Rt().Record("Writer.SetProfile", profile ? "profile" : "null");
        if (FAILED(hr)) return hr;
        if (profile) profile->AddRef();
        if (profile_) profile_->Release();
        profile_ = profile;
        if (!Rt().inputNamesFixed && profile)
            Rt().inputNames = Rt().profileConnectionNames[static_cast<FakeProfile*>(profile)->index_];
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetOutputFilename(const WCHAR*) override UNEXPECTED("Writer.SetOutputFilename")
    HRESULT STDMETHODCALLTYPE GetInputCount(DWORD* count) override {
        return RecordThen("Writer.GetInputCount", "", [&] { *count = static_cast<DWORD>(Rt().inputNames.size()); });
    }
    HRESULT STDMETHODCALLTYPE GetInputProps(DWORD input, IWMInputMediaProps** props) override {
        HRESULT hr = Rt().Record("Writer.GetInputProps", Format("%lu", input));
        if (FAILED(hr)) return hr;
        if (input >= Rt().inputNames.size()) return E_INVALIDARG;
        *props = new FakeInputProps(Rt().inputNames[input]);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetInputProps(DWORD input, IWMInputMediaProps* props) override {
        return RecordThen("Writer.SetInputProps", Format("%lu", input),
                          [&] { Rt().inputTypes[input] = static_cast<FakeInputProps*>(props)->mediaType_; });
    }
    HRESULT STDMETHODCALLTYPE GetInputFormatCount(DWORD input, DWORD* count) override {
        HRESULT hr = Rt().Record("Writer.GetInputFormatCount", Format("%lu", input));
        if (FAILED(hr)) return hr;
        if (input >= Rt().inputNames.size()) return E_INVALIDARG;
        *count = static_cast<DWORD>(Rt().inputFormats.size());
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetInputFormat(DWORD input, DWORD number, IWMInputMediaProps** props) override {
        HRESULT hr = Rt().Record("Writer.GetInputFormat", Format("%lu, %lu", input, number));
        if (FAILED(hr)) return hr;
        if (input >= Rt().inputNames.size() || number >= Rt().inputFormats.size()) return E_INVALIDARG;
        auto* listed = new FakeInputProps(Rt().inputNames[input]);
        listed->mediaType_ = Rt().inputFormats[number];
        *props = listed;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE BeginWriting() override { return Rt().Record("Writer.BeginWriting"); }
    HRESULT STDMETHODCALLTYPE EndWriting() override { return Rt().Record("Writer.EndWriting"); }
    HRESULT STDMETHODCALLTYPE AllocateSample(DWORD size, INSSBuffer** sample) override {
        HRESULT hr = Rt().Record("Writer.AllocateSample", Format("%lu", size));
        if (FAILED(hr)) return hr;
        *sample = new FakeBuffer(size);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE WriteSample(DWORD input, QWORD time, DWORD flags, INSSBuffer* sample) override {
        HRESULT hr = Rt().Record("Writer.WriteSample", Format("%lu, %llu, %lu", input, time, flags));
        if (SUCCEEDED(hr))
            Rt().AddSample({input, time, flags, static_cast<FakeBuffer*>(sample)->Written()});
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Flush() override { return Rt().Record("Writer.Flush"); }
    // IWMWriterAdvanced
    HRESULT STDMETHODCALLTYPE GetSinkCount(DWORD*) override UNEXPECTED("Writer.GetSinkCount")
    HRESULT STDMETHODCALLTYPE GetSink(DWORD, IWMWriterSink**) override UNEXPECTED("Writer.GetSink")
    HRESULT STDMETHODCALLTYPE AddSink(IWMWriterSink* sink) override {
        HRESULT hr = Rt().Record("Writer.AddSink", SinkName(sink));
        if (SUCCEEDED(hr)) {
            sink->AddRef();
            sinks_.push_back(sink);
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE RemoveSink(IWMWriterSink* sink) override {
        HRESULT hr = Rt().Record("Writer.RemoveSink", SinkName(sink));
        if (FAILED(hr)) return hr;
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (*it == sink) {
                sinks_.erase(it);
                sink->Release();
                return hr;
            }
        }
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE WriteStreamSample(WORD, QWORD, DWORD, QWORD, DWORD, INSSBuffer*) override
        UNEXPECTED("Writer.WriteStreamSample")
    HRESULT STDMETHODCALLTYPE SetLiveSource(BOOL) override UNEXPECTED("Writer.SetLiveSource")
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL*) override UNEXPECTED("Writer.IsRealTime")
    HRESULT STDMETHODCALLTYPE GetWriterTime(QWORD*) override UNEXPECTED("Writer.GetWriterTime")
    HRESULT STDMETHODCALLTYPE GetStatistics(WORD stream, WM_WRITER_STATISTICS* statistics) override {
        HRESULT hr = Rt().Record("Writer.GetStatistics", Format("%u", stream));
        if (SUCCEEDED(hr)) {
            *statistics = WM_WRITER_STATISTICS{};
            statistics->qwByteCount = 123456;
            statistics->dwCurrentBitrate = 64000;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetSyncTolerance(DWORD) override UNEXPECTED("Writer.SetSyncTolerance")
    HRESULT STDMETHODCALLTYPE GetSyncTolerance(DWORD*) override UNEXPECTED("Writer.GetSyncTolerance")
    // IWMHeaderInfo
    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD, WORD*) override UNEXPECTED("Writer.GetAttributeCount")
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD, WORD*, WCHAR*, WORD*, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override
        UNEXPECTED("Writer.GetAttributeByIndex")
    HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD*, LPCWSTR, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override
        UNEXPECTED("Writer.GetAttributeByName")
    HRESULT STDMETHODCALLTYPE SetAttribute(WORD stream, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                                           WORD length) override {
        HRESULT hr = Rt().Record("Writer.SetAttribute",
                                 Format("%u, %s, %d, %u", stream, Narrow(name).c_str(), type, length));
        if (SUCCEEDED(hr)) Rt().attributes.emplace_back(name, std::vector<BYTE>(value, value + length));
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD*) override UNEXPECTED("Writer.GetMarkerCount")
    HRESULT STDMETHODCALLTYPE GetMarker(WORD, WCHAR*, WORD*, QWORD*) override UNEXPECTED("Writer.GetMarker")
    HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override UNEXPECTED("Writer.AddMarker")
    HRESULT STDMETHODCALLTYPE RemoveMarker(WORD) override UNEXPECTED("Writer.RemoveMarker")
    HRESULT STDMETHODCALLTYPE GetScriptCount(WORD*) override UNEXPECTED("Writer.GetScriptCount")
    HRESULT STDMETHODCALLTYPE GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*) override
        UNEXPECTED("Writer.GetScript")
    HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override
        UNEXPECTED("Writer.AddScript")
    HRESULT STDMETHODCALLTYPE RemoveScript(WORD) override UNEXPECTED("Writer.RemoveScript")

    IWMProfile* profile_ = nullptr;
    std::vector<IWMWriterSink*> sinks_;
};

// ---------------------------------------------------------------- entry points
HRESULT CreateWriter(IUnknown* certificate, IWMWriter** writer) {
    HRESULT hr = Rt().Record("WMCreateWriter", certificate ? "certificate" : "null");
    if (FAILED(hr)) return hr;
    *writer = new FakeWriter();
    return hr;
}
HRESULT CreateNetworkSink(IWMWriterNetworkSink** sink) {
    HRESULT hr = Rt().Record("WMCreateWriterNetworkSink");
    if (FAILED(hr)) return hr;
    *sink = new FakeNetworkSink();
    return hr;
}
HRESULT CreateFileSink(IWMWriterFileSink** sink) {
    HRESULT hr = Rt().Record("WMCreateWriterFileSink");
    if (FAILED(hr)) return hr;
    *sink = new FakeFileSink();
    return hr;
}
HRESULT CreateProfileManager(IWMProfileManager** manager) {
    HRESULT hr = Rt().Record("WMCreateProfileManager");
    if (FAILED(hr)) return hr;
    *manager = new FakeProfileManager();
    return hr;
}

}  // namespace

Runtime* Runtime::current_ = nullptr;

const ombrel::RuntimeEntryPoints Runtime::kEntryPoints = {CreateWriter, CreateNetworkSink, CreateFileSink,
                                                          CreateProfileManager};

Runtime::Runtime() : codecs(StandardCodecs()) { current_ = this; }

Runtime::~Runtime() {
    EXPECT_EQ(0, live_) << "runtime objects still referenced at teardown";
    current_ = nullptr;
}

Runtime& Runtime::Current() {
    if (!current_) {
        ADD_FAILURE() << "runtime stand-in called with none in place";
        std::abort();
    }
    return *current_;
}

void Runtime::FailOn(const std::string& key, HRESULT hr, int nth) { failures_[key] = Failure{hr, nth, 0}; }

void Runtime::AddSample(WrittenSample sample) {
    win::CsLock hold(lock_);
    samples.push_back(std::move(sample));
}

HRESULT Runtime::Record(const std::string& name, const std::string& args) {
    std::string entry = name + "(" + args + ")";
    win::CsLock hold(lock_);
    calls_.push_back(entry);
    for (const std::string& key : {entry, name}) {
        auto found = failures_.find(key);
        if (found == failures_.end()) continue;
        Failure& failure = found->second;
        ++failure.seen;
        if (failure.nth == 0 || failure.nth == failure.seen) return failure.hr;
    }
    return S_OK;
}

HRESULT Runtime::Unexpected(const std::string& name) {
    {
        win::CsLock hold(lock_);
        calls_.push_back(name + "(unexpected)");
    }
    ADD_FAILURE() << "unexpected runtime call " << name;
    return E_NOTIMPL;
}

std::vector<std::string> Runtime::Calls(bool withQueries) const {
    std::vector<std::string> shown;
    for (const std::string& call : calls_)
        if (withQueries || call.find(".QueryInterface(") == std::string::npos) shown.push_back(call);
    return shown;
}

std::vector<std::string> Runtime::CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> shown;
    for (const std::string& call : calls_)
        if (call.compare(0, prefix.size(), prefix) == 0) shown.push_back(call);
    return shown;
}

std::string GuidName(const GUID& guid) {
    if (IsEqualGUID(guid, WMMEDIATYPE_Audio)) return "Audio";
    if (IsEqualGUID(guid, WMMEDIATYPE_Video)) return "Video";
    if (IsEqualGUID(guid, WMMEDIATYPE_Script)) return "Script";
    if (IsEqualGUID(guid, WM_SampleExtensionGUID_ContentType)) return "ContentType";
    if (IsEqualGUID(guid, WM_SampleExtensionGUID_PixelAspectRatio)) return "PixelAspectRatio";
    return Format("{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2, guid.Data3,
                  guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
}

std::string Narrow(const WCHAR* text) {
    if (!text) return "null";
    std::string narrow;
    for (; *text; ++text) narrow += *text < 128 ? static_cast<char>(*text) : '?';
    return narrow;
}

std::vector<FakeCodec> StandardCodecs() {
    std::vector<FakeCodec> codecs;
    FakeCodec wma9;
    wma9.majorType = WMMEDIATYPE_Audio;
    wma9.name = L"Windows Media Audio 9.2";
    wma9.cbrFormats = {{L"64 kbps, 44 kHz, stereo CBR", 64040}, {L"128 kbps, 44 kHz, stereo CBR", 128016}};
    wma9.vbrFormats = {{L"VBR Quality 50, 44 kHz, stereo", 50}, {L"VBR Quality 90, 44 kHz, stereo", 90}};
    FakeCodec voice;
    voice.majorType = WMMEDIATYPE_Audio;
    voice.name = L"Windows Media Audio Voice 9";
    voice.knowsVbrSetting = false;
    voice.cbrFormats = {{L"4 kbps, 8 kHz, mono", 4000}};
    FakeCodec lossless;
    lossless.majorType = WMMEDIATYPE_Audio;
    lossless.name = L"Windows Media Audio 9.2 Lossless";
    lossless.knowsVbrSetting = false;
    lossless.cbrFormats = {{L"VBR Quality 100, 44 kHz, 2 channel 16 bit 1-pass", 0}};
    FakeCodec pro10;
    pro10.majorType = WMMEDIATYPE_Audio;
    pro10.name = L"Windows Media Audio 10 Professional";
    pro10.cbrFormats = {{L"192 kbps, 48 kHz, 5.1 channel 24 bit CBR", 192000}};
    FakeCodec wmv9;
    wmv9.majorType = WMMEDIATYPE_Video;
    wmv9.name = L"Windows Media Video 9";
    wmv9.cbrFormats = {{L"WMV9", 0}};
    wmv9.vbrFormats = {{L"WMV9 VBR", 0}};
    wmv9.twoPassVbrFormats = {{L"WMV9 VBR two-pass", 0}};
    wmv9.complexityLive = 2;
    wmv9.complexityOffline = 4;
    FakeCodec screen;
    screen.majorType = WMMEDIATYPE_Video;
    screen.name = L"Windows Media Video 9 Screen";
    codecs = {voice, wma9, lossless, pro10, screen, wmv9};
    return codecs;
}

std::vector<BYTE> MediaTypeBytes(const WM_MEDIA_TYPE* type) {
    if (!type) return {};
    std::vector<BYTE> bytes(sizeof(WM_MEDIA_TYPE) + type->cbFormat);
    std::memcpy(bytes.data(), type, sizeof(WM_MEDIA_TYPE));
    if (type->cbFormat && type->pbFormat) std::memcpy(bytes.data() + sizeof(WM_MEDIA_TYPE), type->pbFormat, type->cbFormat);
    return bytes;
}

std::vector<BYTE> PcmInputFormat(WORD channels, WORD bits, bool extensible) {
    WAVEFORMATEXTENSIBLE wave{};
    wave.Format.wFormatTag = extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM;
    wave.Format.nChannels = channels;
    wave.Format.nSamplesPerSec = 44100;
    wave.Format.wBitsPerSample = bits;
    wave.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    wave.Format.nAvgBytesPerSec = 44100 * wave.Format.nBlockAlign;
    if (extensible) {
        wave.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        wave.Samples.wValidBitsPerSample = bits;
        wave.SubFormat = WMMEDIASUBTYPE_PCM;
    }
    WM_MEDIA_TYPE type{};
    type.majortype = WMMEDIATYPE_Audio;
    type.subtype = WMMEDIASUBTYPE_PCM;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = wave.Format.nBlockAlign;
    type.formattype = WMFORMAT_WaveFormatEx;
    type.cbFormat = extensible ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX);
    type.pbFormat = reinterpret_cast<BYTE*>(&wave);
    return MediaTypeBytes(&type);
}

std::vector<std::vector<BYTE>> PcmInputFormats() {
    std::vector<std::vector<BYTE>> formats;
    for (WORD bits : {8, 16, 24, 32})
        for (WORD channels = 1; channels <= 8; ++channels)
            formats.push_back(PcmInputFormat(channels, bits, channels > 2 || bits > 16));
    return formats;
}

const WM_MEDIA_TYPE& MediaTypeOf(const std::vector<BYTE>& bytes) {
    return *reinterpret_cast<const WM_MEDIA_TYPE*>(bytes.data());
}

}  // namespace ombrel::test::fake
