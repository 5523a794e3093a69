// The network sink: an HTTP server on 127.0.0.1 on a thread of its own, serving the writer's
// header and packets in the Windows Media framing ($H, $D, $E chunks). The writer calls OnHeader
// and OnDataUnit on the plug-in's audio thread: they only copy into bounded per-listener queues
// under a short lock and never wait on a socket.
#include <winsock.h>

#include "standin/wmvcore/Sinks.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "standin/wmvcore/ComSupport.h"
#include "standin/wmvcore/HttpRequest.h"
#include "win/CriticalSection.h"
#include "win/UniqueAny.h"
#include "win/UniqueSocket.h"

namespace wmstandin {

namespace {

constexpr size_t kQueueLimit = 1024 * 1024;      // bytes queued per listener before it is dropped
constexpr DWORD kRequestTimeoutMs = 5000;         // for the request head to arrive
constexpr DWORD kHeaderWaitMs = 10000;            // for the writer's header, once asked for
constexpr size_t kMaxConnections = 64;            // listeners and requests in progress together
constexpr size_t kMaxChunkPayload = 8192;         // PeerCast nodes refuse longer chunks
constexpr int kSendBuffer = 64 * 1024;

enum class Phase { kRequest, kWaitHeader, kStreaming, kClosing };

struct Connection {
    win::UniqueSocket socket;
    sockaddr_in peer{};
    Phase phase = Phase::kRequest;
    bool play = false;
    bool counted = false;  // a playing listener, part of GetClientCount
    DWORD since = 0;       // tick of accept, or of the request's end
    std::string request;
    std::vector<BYTE> out;  // bytes to send; sent from the front
    size_t sent = 0;
};

// A chunk of the framing: type, length (payload + 8), location, incarnation, flags, length.
void AppendChunk(std::vector<BYTE>* out, char type, DWORD location, BYTE flags, const BYTE* data, size_t size) {
    const WORD length = static_cast<WORD>(size + 8);
    const BYTE head[12] = {'$', static_cast<BYTE>(type), static_cast<BYTE>(length), static_cast<BYTE>(length >> 8),
                           static_cast<BYTE>(location), static_cast<BYTE>(location >> 8),
                           static_cast<BYTE>(location >> 16), static_cast<BYTE>(location >> 24),
                           0, flags, static_cast<BYTE>(length), static_cast<BYTE>(length >> 8)};
    out->insert(out->end(), head, head + sizeof head);
    out->insert(out->end(), data, data + size);
}

void AppendText(std::vector<BYTE>* out, const std::string& text) { out->insert(out->end(), text.begin(), text.end()); }

std::string ErrorResponse(int code, const char* reason) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "HTTP/1.0 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %u\r\nConnection: close\r\n\r\n%s\r\n",
                  code, reason, static_cast<unsigned>(std::char_traits<char>::length(reason) + 2), reason);
    return text;
}

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
        win::CsLock lock(cs_);
        header_.assign(data, data + size);
        location_ = 0;
        ended_ = false;
        return S_OK;
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
        if (size == 0 || size > kMaxChunkPayload) return E_INVALIDARG;
        win::CsLock lock(cs_);
        const DWORD location = location_++;
        for (auto& c : connections_) {
            if (c->phase != Phase::kStreaming || !c->play) continue;
            if (c->out.size() - c->sent + size + 12 > kQueueLimit) {
                // A listener that stopped reading: dropped, and no longer counted, at once.
                Drop(*c);
                continue;
            }
            AppendChunk(&c->out, 'D', location, 0, data, size);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnEndWriting() override {
        win::CsLock lock(cs_);
        ended_ = true;
        for (auto& c : connections_) {
            if (c->phase != Phase::kStreaming || !c->play) continue;
            const BYTE reason[4] = {0, 0, 0, 0};
            // The end chunk has a four-byte framing: the length counts the reason only.
            const BYTE head[4] = {'$', 'E', 4, 0};
            c->out.insert(c->out.end(), head, head + 4);
            c->out.insert(c->out.end(), reason, reason + 4);
            c->phase = Phase::kClosing;
            Uncount(*c);
        }
        return S_OK;
    }

    // IWMWriterNetworkSink
    HRESULT STDMETHODCALLTYPE SetMaximumClients(DWORD maxClients) override {
        win::CsLock lock(cs_);
        maxClients_ = maxClients;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMaximumClients(DWORD* maxClients) override {
        if (!maxClients) return E_POINTER;
        win::CsLock lock(cs_);
        *maxClients = maxClients_;
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
        if (!listener_) return E_UNEXPECTED;
        wchar_t text[64];
        const int n = std::swprintf(text, 64, L"http://127.0.0.1:%lu/", static_cast<unsigned long>(port_));
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
        if (*port > 0xFFFF) return E_INVALIDARG;
        if (listener_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
        WSADATA wsa;
        if (::WSAStartup(MAKEWORD(1, 1), &wsa) != 0) return E_FAIL;
        wsaStarted_ = true;
        win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
        if (!s) return Fail(HRESULT_FROM_WIN32(::WSAGetLastError()));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
        address.sin_port = ::htons(static_cast<u_short>(*port));
        if (::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(s.get(), 16) != 0)
            return Fail(HRESULT_FROM_WIN32(::WSAGetLastError()));
        int length = sizeof address;
        if (::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return Fail(HRESULT_FROM_WIN32(::WSAGetLastError()));
        u_long nonBlocking = 1;
        ::ioctlsocket(s.get(), FIONBIO, &nonBlocking);
        port_ = ::ntohs(address.sin_port);
        listener_ = std::move(s);
        stop_ = false;
        AddRef();  // the thread's reference, given back when it ends
        thread_.reset(::CreateThread(nullptr, 0, &NetworkSink::ThreadMain, this, 0, nullptr));
        if (!thread_) {
            Release();
            listener_.reset();
            return Fail(HRESULT_FROM_WIN32(::GetLastError()));
        }
        *port = port_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override {
        win::CsLock lock(cs_);
        for (auto& c : connections_) Drop(*c);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close() override {
        StopServing();
        return S_OK;
    }

    // IWMClientConnections
    HRESULT STDMETHODCALLTYPE GetClientCount(DWORD* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<DWORD>(counted_.load());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientProperties(DWORD index, WM_CLIENT_PROPERTIES* properties) override {
        if (!properties) return E_POINTER;
        win::CsLock lock(cs_);
        const Connection* c = CountedAt(index);
        if (!c) return E_INVALIDARG;
        properties->dwIPAddress = ::ntohl(c->peer.sin_addr.s_addr);
        properties->dwPort = ::ntohs(c->peer.sin_port);
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

    void StopServing() {
        if (thread_) {
            stop_ = true;
            ::WaitForSingleObject(thread_.get(), INFINITE);
            thread_.reset();
        }
        listener_.reset();
        {
            win::CsLock lock(cs_);
            connections_.clear();
            counted_ = 0;
        }
        if (wsaStarted_) ::WSACleanup();
        wsaStarted_ = false;
    }

    void Uncount(Connection& c) {
        if (c.counted) {
            c.counted = false;
            --counted_;
        }
    }
    void Drop(Connection& c) {
        Uncount(c);
        c.phase = Phase::kClosing;
        c.out.clear();
        c.sent = 0;
    }
    const Connection* CountedAt(DWORD index) const {
        for (const auto& c : connections_) {
            if (c->counted && index-- == 0) return c.get();
        }
        return nullptr;
    }

    static DWORD WINAPI ThreadMain(void* self) {
        auto* sink = static_cast<NetworkSink*>(self);
        sink->Serve();
        sink->Release();
        return 0;
    }

    void Serve() {
        while (!stop_) {
            fd_set readable, writable;
            FD_ZERO(&readable);
            FD_ZERO(&writable);
            {
                win::CsLock lock(cs_);
                if (connections_.size() < kMaxConnections && connections_.size() < FD_SETSIZE - 1)
                    FD_SET(listener_.get(), &readable);
                for (const auto& c : connections_) {
                    if (c->phase == Phase::kRequest) FD_SET(c->socket.get(), &readable);
                    if (c->out.size() > c->sent) FD_SET(c->socket.get(), &writable);
                    // A streaming listener that closes is noticed by a read of 0 bytes.
                    if (c->phase == Phase::kStreaming) FD_SET(c->socket.get(), &readable);
                }
            }
            timeval wait = {0, 10 * 1000};
            const int ready = ::select(0, &readable, &writable, nullptr, &wait);
            if (ready < 0) {
                ::Sleep(10);
                continue;
            }
            win::CsLock lock(cs_);
            if (ready > 0 && FD_ISSET(listener_.get(), &readable)) Accept();
            const DWORD now = ::GetTickCount();
            for (auto& c : connections_) Step(*c, readable, writable, now, ready > 0);
            for (size_t i = 0; i < connections_.size();) {
                Connection& c = *connections_[i];
                if (c.phase == Phase::kClosing && c.out.size() == c.sent) {
                    Uncount(c);
                    ::shutdown(c.socket.get(), 1);
                    connections_.erase(connections_.begin() + i);
                } else {
                    ++i;
                }
            }
        }
    }

    void Accept() {
        sockaddr_in peer{};
        int length = sizeof peer;
        win::UniqueSocket s(::accept(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &length));
        if (!s) return;
        u_long nonBlocking = 1;
        ::ioctlsocket(s.get(), FIONBIO, &nonBlocking);
        ::setsockopt(s.get(), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kSendBuffer), sizeof kSendBuffer);
        auto c = std::make_unique<Connection>();
        c->socket = std::move(s);
        c->peer = peer;
        c->since = ::GetTickCount();
        connections_.push_back(std::move(c));
    }

    void Refuse(Connection& c, int code, const char* reason) {
        c.out.clear();
        c.sent = 0;
        AppendText(&c.out, ErrorResponse(code, reason));
        c.phase = Phase::kClosing;
    }

    void StartStreaming(Connection& c) {
        if (c.play && static_cast<DWORD>(counted_.load()) >= maxClients_) {
            Refuse(c, 503, "Service Unavailable");
            return;
        }
        AppendText(&c.out,
                   "HTTP/1.0 200 OK\r\n"
                   "Content-Type: application/x-mms-framed\r\n"
                   "Server: Ombrel-wmvcore\r\n"
                   "Pragma: no-cache\r\n"
                   "Cache-Control: no-cache\r\n"
                   "Pragma: features=\"broadcast\"\r\n"
                   "Connection: close\r\n"
                   "\r\n");
        AppendChunk(&c.out, 'H', 0, 0x0C, header_.data(), header_.size());
        if (c.play && !ended_) {
            c.phase = Phase::kStreaming;
            c.counted = true;
            ++counted_;
        } else {
            c.phase = Phase::kClosing;  // a describe gets the header only
        }
    }

    void Step(Connection& c, const fd_set& readable, const fd_set& writable, DWORD now, bool any) {
        const SOCKET s = c.socket.get();
        if (any && c.phase != Phase::kClosing && FD_ISSET(s, &readable)) {
            char buffer[2048];
            const int got = ::recv(s, buffer, sizeof buffer, 0);
            if (got <= 0) {
                if (got == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) {
                    Drop(c);
                    return;
                }
            } else if (c.phase == Phase::kRequest) {
                c.request.append(buffer, got);
                switch (ParseRequest(c.request)) {
                    case RequestParse::kIncomplete: break;
                    case RequestParse::kBad: Refuse(c, 400, "Bad Request"); break;
                    case RequestParse::kDescribe:
                    case RequestParse::kPlay:
                        c.play = ParseRequest(c.request) == RequestParse::kPlay;
                        c.phase = Phase::kWaitHeader;
                        c.since = now;
                        break;
                }
            }
            // Bytes a streaming listener sends after its request are read and ignored.
        }
        if (c.phase == Phase::kRequest && now - c.since > kRequestTimeoutMs) {
            Refuse(c, 408, "Request Timeout");
        }
        if (c.phase == Phase::kWaitHeader) {
            if (!header_.empty()) {
                StartStreaming(c);
            } else if (now - c.since > kHeaderWaitMs) {
                Refuse(c, 503, "Service Unavailable");
            }
        }
        if (any && c.out.size() > c.sent && FD_ISSET(s, &writable)) {
            const int n = ::send(s, reinterpret_cast<const char*>(c.out.data() + c.sent),
                                 static_cast<int>(c.out.size() - c.sent), 0);
            if (n > 0) {
                c.sent += n;
                if (c.sent == c.out.size() || c.sent > 256 * 1024) {
                    c.out.erase(c.out.begin(), c.out.begin() + c.sent);
                    c.sent = 0;
                }
            } else if (::WSAGetLastError() != WSAEWOULDBLOCK) {
                Drop(c);
            }
        }
    }

    RefCount refs_;
    win::CriticalSection cs_;
    std::vector<BYTE> header_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::atomic<long> counted_{0};
    DWORD maxClients_ = 5;
    DWORD location_ = 0;
    bool ended_ = false;
    win::UniqueSocket listener_;
    DWORD port_ = 0;
    bool wsaStarted_ = false;
    std::atomic<bool> stop_{false};
    win::UniqueAny<win::ThreadHandleTraits> thread_;
};

}  // namespace

HRESULT CreateNetworkSink(IWMWriterNetworkSink** sink) {
    if (!sink) return E_POINTER;
    *sink = new (std::nothrow) NetworkSink();
    return *sink ? S_OK : E_OUTOFMEMORY;
}

}  // namespace wmstandin
