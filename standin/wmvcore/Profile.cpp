// The profile: a name, a description and copies of its stream configurations, numbered 1, 2 ...
// as they are added.
#include "standin/wmvcore/ComSupport.h"
#include "standin/wmvcore/Objects.h"
#include "win/CriticalSection.h"

namespace wmstandin {
namespace {

bool IsKnownStreamType(REFGUID type) noexcept {
    return IsEqualGUID(type, WMMEDIATYPE_Audio) || IsEqualGUID(type, WMMEDIATYPE_Video) ||
           IsEqualGUID(type, WMMEDIATYPE_Script);
}

struct Profile final : IWMProfile {
    RefCount refs;
    win::CriticalSection lock;
    WMT_VERSION version;
    std::wstring name;
    std::wstring description;
    std::vector<StreamData> streams;

    explicit Profile(WMT_VERSION v) : version(v) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IWMProfile)) return E_NOINTERFACE;
        *out = static_cast<IWMProfile*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs.Release(this); }

    HRESULT STDMETHODCALLTYPE GetVersion(WMT_VERSION* out) override {
        if (!out) return E_POINTER;
        *out = version;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetName(WCHAR* out, DWORD* count) override {
        win::CsLock hold(lock);
        return CopyText(name, out, count);
    }
    HRESULT STDMETHODCALLTYPE SetName(const WCHAR* text) override {
        if (!text) return E_POINTER;
        return Guard([&] {
            win::CsLock hold(lock);
            name = text;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetDescription(WCHAR* out, DWORD* count) override {
        win::CsLock hold(lock);
        return CopyText(description, out, count);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(const WCHAR* text) override {
        if (!text) return E_POINTER;
        return Guard([&] {
            win::CsLock hold(lock);
            description = text;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD* count) override {
        if (!count) return E_POINTER;
        win::CsLock hold(lock);
        *count = static_cast<DWORD>(streams.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStream(DWORD index, IWMStreamConfig** config) override {
        if (!config) return E_POINTER;
        *config = nullptr;
        return Guard([&] {
            win::CsLock hold(lock);
            if (index >= streams.size()) return E_INVALIDARG;
            return CreateStreamConfig(streams[index], config);
        });
    }
    HRESULT STDMETHODCALLTYPE GetStreamByNumber(WORD number, IWMStreamConfig** config) override {
        if (!config) return E_POINTER;
        *config = nullptr;
        return Guard([&] {
            win::CsLock hold(lock);
            for (const StreamData& stream : streams)
                if (stream.number == number) return CreateStreamConfig(stream, config);
            return NS_E_INVALID_STREAM;
        });
    }
    HRESULT STDMETHODCALLTYPE RemoveStream(IWMStreamConfig* config) override {
        if (!config) return E_POINTER;
        WORD number = 0;
        HRESULT hr = config->GetStreamNumber(&number);
        return FAILED(hr) ? hr : RemoveStreamByNumber(number);
    }
    HRESULT STDMETHODCALLTYPE RemoveStreamByNumber(WORD number) override {
        win::CsLock hold(lock);
        for (auto it = streams.begin(); it != streams.end(); ++it) {
            if (it->number == number) {
                streams.erase(it);
                return S_OK;
            }
        }
        return NS_E_INVALID_STREAM;
    }
    HRESULT STDMETHODCALLTYPE AddStream(IWMStreamConfig* config) override {
        if (!config) return E_POINTER;
        return Guard([&] {
            StreamData data;
            HRESULT hr = ReadStreamData(config, &data);
            if (FAILED(hr)) return hr;
            if (!IsKnownStreamType(data.streamType)) return E_INVALIDARG;
            win::CsLock hold(lock);
            WORD highest = 0;
            for (const StreamData& stream : streams) {
                if (data.number != 0 && stream.number == data.number) return NS_E_INVALID_STREAM;
                if (stream.number > highest) highest = stream.number;
            }
            if (data.number == 0) {
                if (highest >= 63) return NS_E_INVALID_STREAM;
                data.number = static_cast<WORD>(highest + 1);
            }
            streams.push_back(std::move(data));
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE ReconfigStream(IWMStreamConfig* config) override {
        if (!config) return E_POINTER;
        return Guard([&] {
            StreamData data;
            HRESULT hr = ReadStreamData(config, &data);
            if (FAILED(hr)) return hr;
            win::CsLock hold(lock);
            for (StreamData& stream : streams) {
                if (stream.number == data.number && data.number != 0) {
                    if (!IsEqualGUID(stream.streamType, data.streamType)) return E_INVALIDARG;
                    stream = std::move(data);
                    return S_OK;
                }
            }
            return NS_E_INVALID_STREAM;
        });
    }
    HRESULT STDMETHODCALLTYPE CreateNewStream(REFGUID type, IWMStreamConfig** config) override {
        if (!config) return E_POINTER;
        *config = nullptr;
        if (!IsKnownStreamType(type)) return E_INVALIDARG;
        StreamData data;
        data.streamType = type;
        return CreateStreamConfig(data, config);
    }
    HRESULT STDMETHODCALLTYPE GetMutualExclusionCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMutualExclusion(DWORD, IWMMutualExclusion**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveMutualExclusion(IWMMutualExclusion*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddMutualExclusion(IWMMutualExclusion*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNewMutualExclusion(IWMMutualExclusion**) override { return E_NOTIMPL; }
};

}  // namespace

HRESULT CreateProfile(WMT_VERSION version, IWMProfile** profile) noexcept {
    if (!profile) return E_POINTER;
    *profile = nullptr;
    if (version != WMT_VER_4_0 && version != WMT_VER_7_0 && version != WMT_VER_8_0 && version != WMT_VER_9_0)
        return E_INVALIDARG;
    return Guard([&] {
        *profile = new Profile(version);
        return S_OK;
    });
}

}  // namespace wmstandin
