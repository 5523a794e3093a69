// A writer input's properties: IWMInputMediaProps with the media type fed to the input, and
// IWMStreamConfig describing the stream the input feeds (read only: changes go through the
// profile, the media type through IWMWriter::SetInputProps).
#include "standin/wmvcore/ComSupport.h"
#include "standin/wmvcore/Objects.h"
#include "win/CriticalSection.h"

namespace wmstandin {
namespace {

struct InputProps final : IWMInputMediaProps, IWMStreamConfig {
    RefCount refs;
    win::CriticalSection lock;
    StreamData stream;
    WM_MEDIA_TYPE type;
    std::vector<BYTE> format;

    InputProps(const StreamData& s, const WM_MEDIA_TYPE& t, const std::vector<BYTE>& f)
        : stream(s), type(t), format(f) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWMMediaProps) ||
            IsEqualIID(iid, IID_IWMInputMediaProps))
            *out = static_cast<IWMInputMediaProps*>(this);
        else if (IsEqualIID(iid, IID_IWMStreamConfig))
            *out = static_cast<IWMStreamConfig*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs.Release(this); }

    // IWMMediaProps
    HRESULT STDMETHODCALLTYPE GetType(GUID* out) override {
        if (!out) return E_POINTER;
        *out = stream.streamType;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE* out, DWORD* size) override {
        win::CsLock hold(lock);
        return CopyMediaTypeOut(type, format, out, size);
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE* in) override {
        if (!in) return E_POINTER;
        if (!IsEqualGUID(in->majortype, stream.streamType)) return NS_E_INVALID_INPUT_FORMAT;
        return Guard([&] {
            WM_MEDIA_TYPE copy{};
            std::vector<BYTE> bytes;
            HRESULT hr = CopyMediaTypeIn(in, &copy, &bytes);
            if (FAILED(hr)) return hr;
            win::CsLock hold(lock);
            type = copy;
            format.swap(bytes);
            return S_OK;
        });
    }

    // IWMInputMediaProps and IWMStreamConfig
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR* name, WORD* count) override {
        return CopyText(stream.connectionName, name, count);
    }
    HRESULT STDMETHODCALLTYPE GetGroupName(WCHAR*, WORD*) override { return E_NOTIMPL; }

    // IWMStreamConfig
    HRESULT STDMETHODCALLTYPE GetStreamType(GUID* out) override { return GetType(out); }
    HRESULT STDMETHODCALLTYPE GetStreamNumber(WORD* number) override {
        if (!number) return E_POINTER;
        *number = stream.number;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetStreamNumber(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamName(WCHAR* name, WORD* count) override {
        return CopyText(stream.name, name, count);
    }
    HRESULT STDMETHODCALLTYPE SetStreamName(LPCWSTR_WMSDK_TYPE_SAFE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetConnectionName(LPCWSTR_WMSDK_TYPE_SAFE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBitrate(DWORD* bitrate) override {
        if (!bitrate) return E_POINTER;
        *bitrate = stream.bitrate;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetBitrate(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBufferWindow(DWORD* window) override {
        if (!window) return E_POINTER;
        *window = stream.bufferWindow;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetBufferWindow(DWORD) override { return E_NOTIMPL; }
};

}  // namespace

HRESULT CreateInputProps(const StreamData& stream, const WM_MEDIA_TYPE& type, const std::vector<BYTE>& format,
                         IWMInputMediaProps** props) noexcept {
    if (!props) return E_POINTER;
    *props = nullptr;
    return Guard([&] {
        *props = new InputProps(stream, type, format);
        return S_OK;
    });
}

}  // namespace wmstandin
