// The network sink: an HTTP server on 127.0.0.1 on a thread of its own (SinkServer), serving
// the writer's header and packets in the Windows Media framing. The writer calls OnHeader and
// OnDataUnit on the plug-in's audio thread: they only copy into per-listener queues under a
// short lock (ConnectionTable), never allocate and never wait on a socket.
#include <winsock.h>

#include "standin/wmvcore/Sinks.h"

#include <cwchar>
#include <new>

#include "standin/wmvcore/ComSupport.h"
#include "standin/wmvcore/ConnectionTable.h"
#include "standin/wmvcore/SinkServer.h"
#include "standin/wmvcore/TestHooks.h"
#include "win/UniqueAny.h"

namespace wmstandin {

namespace {

// How long a close may go on sending what listeners have not yet taken, the end chunk last.
constexpr DWORD kCloseFlushMs = 1000;

HRESULT GetBytes(INSSBuffer* buffer, BYTE** data, DWORD* size) {
    if (!buffer) return E_POINTER;
    return buffer->GetBufferAndLength(data, size);
}

class NetworkSink final : public IWMWriterNetworkSink, public IWMClientConnections2, public IWMRegisterCallback {
public:
    NetworkSink() = default;
    ~NetworkSink() { StopServing(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IWMWriterSink || iid == IID_IWMWriterNetworkSink) {
            *out = static_cast<IWMWriterNetworkSink*>(this);
        } else if (iid == IID_IWMClientConnections || iid == IID_IWMClientConnections2) {
            *out = static_cast<IWMClientConnections2*>(this);
        } else if (iid == IID_IWMRegisterCallback) {
            *out = static_cast<IWMRegisterCallback*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs_.Release(this); }

    // IWMWriterSink
    HRESULT STDMETHODCALLTYPE OnHeader(INSSBuffer* header) override {
        BYTE* data = nullptr;
        DWORD size = 0;
        const HRESULT hr = GetBytes(header, &data, &size);
        if (FAILED(hr)) return hr;
        if (size + 8 > 0xFFFF) return E_INVALIDARG;
        return table_.SetHeader(data, size);
    }
    HRESULT STDMETHODCALLTYPE IsRealTime(WINBOOL* realTime) override {
        if (!realTime) return E_POINTER;
        *realTime = TRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AllocateDataUnit(DWORD, INSSBuffer** unit) override {
        if (unit) *unit = nullptr;
        return E_NOTIMPL;  // the writer allocates its own buffers
    }
    HRESULT STDMETHODCALLTYPE OnDataUnit(INSSBuffer* unit) override {
        BYTE* data = nullptr;
        DWORD size = 0;
        const HRESULT hr = GetBytes(unit, &data, &size);
        if (FAILED(hr)) return hr;
        if (size == 0 || size > kMaxDataUnit) return E_INVALIDARG;
        table_.Deliver(data, size);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEndWriting() override {
        table_.EndWriting();
        return S_OK;
    }

    // IWMWriterNetworkSink
    HRESULT STDMETHODCALLTYPE SetMaximumClients(DWORD maxClients) override {
        table_.SetMaximum(maxClients);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMaximumClients(DWORD* maxClients) override {
        if (!maxClients) return E_POINTER;
        *maxClients = table_.Maximum();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetNetworkProtocol(WMT_NET_PROTOCOL protocol) override {
        return protocol == WMT_PROTOCOL_HTTP ? S_OK : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetNetworkProtocol(WMT_NET_PROTOCOL* protocol) override {
        if (!protocol) return E_POINTER;
        *protocol = WMT_PROTOCOL_HTTP;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetHostURL(WCHAR* url, DWORD* length) override {
        if (!length) return E_POINTER;
        if (!server_.Listening()) return E_UNEXPECTED;
        wchar_t text[64];
        const int n = std::swprintf(text, 64, L"http://127.0.0.1:%lu/", static_cast<unsigned long>(server_.Port()));
        if (!url || *length < static_cast<DWORD>(n + 1)) {
            *length = n + 1;
            return url ? HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) : S_OK;
        }
        std::wcscpy(url, text);
        *length = n + 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Open(DWORD* port) override {
        if (!port) return E_POINTER;
        if (const HRESULT injected = TakeFault(Fault::kSinkOpen); FAILED(injected)) return injected;
        if (*port > 0xFFFF) return E_INVALIDARG;
        if (server_.Listening()) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
        WSADATA wsa;
        if (::WSAStartup(MAKEWORD(1, 1), &wsa) != 0) return E_FAIL;
        wsaStarted_ = true;
        DWORD chosen = *port;
        const HRESULT hr = server_.Listen(&chosen);
        if (FAILED(hr)) return Fail(hr);
        AddRef();  // the thread's reference, given back when it ends
        thread_.reset(::CreateThread(nullptr, 0, &NetworkSink::ThreadMain, this, 0, nullptr));
        if (!thread_) {
            Release();
            server_.CloseListener();
            return Fail(HRESULT_FROM_WIN32(::GetLastError()));
        }
        *port = chosen;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override {
        table_.DropAll();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close() override {
        if (const HRESULT injected = TakeFault(Fault::kSinkClose); FAILED(injected)) return injected;
        StopServing();
        return S_OK;
    }

    // IWMClientConnections
    HRESULT STDMETHODCALLTYPE GetClientCount(DWORD* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<DWORD>(table_.Count());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientProperties(DWORD index, WM_CLIENT_PROPERTIES* properties) override {
        if (!properties) return E_POINTER;
        sockaddr_in peer{};
        if (!table_.PeerOf(index, &peer)) return E_INVALIDARG;
        properties->dwIPAddress = ::ntohl(peer.sin_addr.s_addr);
        properties->dwPort = ::ntohs(peer.sin_port);
        return S_OK;
    }
    // IWMClientConnections2
    HRESULT STDMETHODCALLTYPE GetClientInfo(DWORD, WCHAR*, DWORD*, WCHAR*, DWORD*, WCHAR*, DWORD*) override {
        return E_NOTIMPL;  // the plug-in never asks
    }

    // IWMRegisterCallback: the plug-in registers no status callback on the sink.
    HRESULT STDMETHODCALLTYPE Advise(IWMStatusCallback*, void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(IWMStatusCallback*, void*) override { return E_NOTIMPL; }

private:
    HRESULT Fail(HRESULT hr) {
        if (SUCCEEDED(hr)) hr = E_FAIL;
        if (wsaStarted_) ::WSACleanup();
        wsaStarted_ = false;
        return hr;
    }

    // Listeners get what was queued for them and the end chunk, within kCloseFlushMs; then
    // every connection closes.
    void StopServing() {
        if (thread_) {
            server_.BeginClose(kCloseFlushMs);
            ::WaitForSingleObject(thread_.get(), INFINITE);
            thread_.reset();
        }
        server_.CloseListener();
        table_.Clear();
        if (wsaStarted_) ::WSACleanup();
        wsaStarted_ = false;
    }

    static DWORD WINAPI ThreadMain(void* self) {
        auto* sink = static_cast<NetworkSink*>(self);
        const ServingThreadScope serving;
        sink->server_.Serve();
        sink->Release();
        return 0;
    }

    RefCount refs_;
    ConnectionTable table_;
    SinkServer server_{table_};
    bool wsaStarted_ = false;
    win::UniqueAny<win::ThreadHandleTraits> thread_;
};

}  // namespace

HRESULT CreateNetworkSink(IWMWriterNetworkSink** sink) {
    if (!sink) return E_POINTER;
    *sink = new (std::nothrow) NetworkSink();
    return *sink ? S_OK : E_OUTOFMEMORY;
}

}  // namespace wmstandin
