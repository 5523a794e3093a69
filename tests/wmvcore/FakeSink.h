// A writer sink that keeps what the writer hands it: the header, the data units and the end,
// in arrival order. As a network sink it also answers the client count (always 0: nobody
// connects to it).
#pragma once

#include <string>
#include <vector>

#include "encoder/WmSdk.h"
#include "win/CriticalSection.h"

namespace ombrel::test {

class FakeSink final : public IWMWriterNetworkSink, public IWMClientConnections {
public:
    struct Event {
        char kind;  // 'H' header, 'D' data unit, 'E' end of writing
        std::vector<BYTE> bytes;
    };

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWMWriterSink) ||
            IsEqualIID(iid, IID_IWMWriterNetworkSink))
            *out = static_cast<IWMWriterNetworkSink*>(this);
        else if (IsEqualIID(iid, IID_IWMClientConnections))
            *out = static_cast<IWMClientConnections*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    // The test owns the object; Release only counts.
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(::InterlockedDecrement(&refs_)); }
    LONG Refs() const { return refs_; }

    HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer* header) override { return Keep('H', header); }
    HRESULT STDMETHODCALLTYPE IsRealTime(BOOL* realTime) override {
        if (!realTime) return E_POINTER;
        *realTime = TRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AllocateDataUnit(DWORD, INSSBuffer**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDataUnit(INSSBuffer* unit) override { return Keep('D', unit); }
    HRESULT STDMETHODCALLTYPE OnEndWriting() override { return Keep('E', nullptr); }

    HRESULT STDMETHODCALLTYPE SetMaximumClients(DWORD count) override {
        maxClients = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMaximumClients(DWORD* count) override {
        *count = maxClients;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetNetworkProtocol(WMT_NET_PROTOCOL protocol) override {
        return protocol == WMT_PROTOCOL_HTTP ? S_OK : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetNetworkProtocol(WMT_NET_PROTOCOL* protocol) override {
        *protocol = WMT_PROTOCOL_HTTP;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetHostURL(WCHAR*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Open(DWORD* port) override {
        opened = *port;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close() override {
        ++closes;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientCount(DWORD* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientProperties(DWORD, WM_CLIENT_PROPERTIES*) override { return E_NOTIMPL; }

    std::vector<Event> Events() {
        win::CsLock hold(lock_);
        return events_;
    }
    std::string Kinds() {
        win::CsLock hold(lock_);
        std::string kinds;
        for (const Event& event : events_) kinds += event.kind;
        return kinds;
    }

    DWORD maxClients = 0;
    DWORD opened = 0;
    int closes = 0;

private:
    HRESULT Keep(char kind, INSSBuffer* buffer) {
        Event event{kind, {}};
        if (buffer) {
            BYTE* data = nullptr;
            DWORD length = 0;
            if (FAILED(buffer->GetBufferAndLength(&data, &length))) return E_FAIL;
            event.bytes.assign(data, data + length);
        }
        win::CsLock hold(lock_);
        events_.push_back(std::move(event));
        return S_OK;
    }

    LONG refs_ = 1;
    win::CriticalSection lock_;
    std::vector<Event> events_;
};

// Where needle's bytes occur in haystack, or npos.
inline size_t FindBytes(const std::vector<BYTE>& haystack, const void* needle, size_t size) {
    const BYTE* n = static_cast<const BYTE*>(needle);
    if (size == 0 || haystack.size() < size) return std::string::npos;
    for (size_t i = 0; i + size <= haystack.size(); ++i)
        if (haystack[i] == n[0] && std::equal(n, n + size, haystack.begin() + i)) return i;
    return std::string::npos;
}

}  // namespace ombrel::test
