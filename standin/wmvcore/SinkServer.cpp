#include "standin/wmvcore/SinkServer.h"

#include <string>

#include "standin/wmvcore/HttpRequest.h"
#include "win/ExceptionFirewall.h"

namespace wmstandin {
namespace {

constexpr int kSendBuffer = 64 * 1024;
constexpr long kPollMs = 10;
constexpr size_t kSpareQueues = 4;
constexpr size_t kMaxLingering = 16;
constexpr DWORD kLingerMs = 2000;

void MakeNonBlocking(SOCKET s) noexcept {
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
}

}  // namespace

HRESULT SinkServer::Listen(DWORD* port) noexcept {
    win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    if (!s) return HRESULT_FROM_WIN32(::WSAGetLastError());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    // Every interface, as the runtime's own sink listens: listeners come from the LAN and,
    // through the router, from outside.
    address.sin_addr.s_addr = ::htonl(INADDR_ANY);
    address.sin_port = ::htons(static_cast<u_short>(*port));
    if (::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s.get(), 16) != 0)
        return HRESULT_FROM_WIN32(::WSAGetLastError());
    int length = sizeof address;
    if (::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return HRESULT_FROM_WIN32(::WSAGetLastError());
    MakeNonBlocking(s.get());
    port_ = ::ntohs(address.sin_port);
    listener_ = std::move(s);
    closing_ = false;
    *port = port_;
    return S_OK;
}

void SinkServer::BeginClose(DWORD boundMs) noexcept {
    closeBy_ = ::GetTickCount() + boundMs;
    closing_ = true;
}

void SinkServer::Serve() noexcept {
    win::Firewall([&] { table_.Reserve(); });
    win::Firewall([&] { spareQueues_.reserve(kSpareQueues); });
    win::Firewall([&] { lingering_.reserve(kMaxLingering); });
    for (;;) {
        const bool closing = closing_;
        if (closing) {
            table_.EndForClose();
            if (table_.Empty() || static_cast<LONG>(::GetTickCount() - closeBy_) >= 0) break;
        }
        // A round that ran out of memory is tried again a little later.
        if (!win::Firewall(false, [&] {
                ServeOnce(closing);
                return true;
            }))
            ::Sleep(kPollMs);
    }
    spareQueues_.clear();
    lingering_.clear();
}

void SinkServer::ServeOnce(bool closing) {
    fd_set readable, writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    const bool accepting = table_.Watch(&watched_, &readable, &writable) && !closing;
    if (accepting) FD_SET(listener_.get(), &readable);
    for (const auto& c : lingering_) FD_SET(c->socket.get(), &readable);
    timeval wait = {0, kPollMs * 1000};
    int ready = ::select(0, &readable, &writable, nullptr, &wait);
    if (ready < 0) {
        // Nothing to wait on (select refuses empty sets) or a failure: timeouts still advance.
        ::Sleep(kPollMs);
        ready = 0;
    }
    if (ready > 0 && accepting && FD_ISSET(listener_.get(), &readable)) Accept();
    const DWORD now = ::GetTickCount();
    for (const Watched& w : watched_) Step(w, readable, writable, now, ready > 0);
    Drain(readable, ready > 0, now);
    table_.TakeFinished(&finished_);
    for (const auto& c : finished_) ::shutdown(c->socket.get(), 1);
    Recycle(&finished_);
    Linger(now);
    finished_.clear();  // closes the sockets not kept lingering
}

// Keeps the finished connections for a lingering close while there is room kept for them.
void SinkServer::Linger(DWORD now) noexcept {
    for (auto& c : finished_) {
        if (lingering_.size() >= kMaxLingering || lingering_.size() >= lingering_.capacity()) return;
        c->since = now;
        lingering_.push_back(std::move(c));
    }
}

// Reads and drops what lingering peers send; closes each once its peer has closed, its
// connection failed, or the bound has passed.
void SinkServer::Drain(const fd_set& readable, bool any, DWORD now) noexcept {
    for (size_t i = 0; i < lingering_.size();) {
        Connection& c = *lingering_[i];
        bool done = now - c.since > kLingerMs;
        if (!done && any && FD_ISSET(c.socket.get(), &readable)) {
            char buffer[512];
            const int got = ::recv(c.socket.get(), buffer, sizeof buffer, 0);
            done = got == 0 || (got < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK);
        }
        if (done) {
            lingering_.erase(lingering_.begin() + i);  // closes the socket
        } else {
            ++i;
        }
    }
}

void SinkServer::Step(const Watched& w, const fd_set& readable, const fd_set& writable, DWORD now, bool any) {
    Connection& c = *w.connection;
    const SOCKET s = c.socket.get();
    if (any && FD_ISSET(s, &readable)) Receive(c, w.phase, now);
    if (w.phase == Phase::kRequest || w.phase == Phase::kWaitHeader) table_.Advance(c, now);
    if (any && FD_ISSET(s, &writable)) Send(c);
}

void SinkServer::Accept() {
    sockaddr_in peer{};
    int length = sizeof peer;
    win::UniqueSocket s(::accept(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &length));
    if (!s) return;
    MakeNonBlocking(s.get());
    ::setsockopt(s.get(), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kSendBuffer), sizeof kSendBuffer);
    auto c = std::make_unique<Connection>();
    c->socket = std::move(s);
    c->peer = peer;
    c->since = ::GetTickCount();
    // Room for a refusal, which is written under the table's lock.
    c->reply.reserve(kMaxErrorResponse);
    table_.Add(std::move(c));
}

void SinkServer::Receive(Connection& c, Phase phase, DWORD now) {
    char buffer[2048];
    const int got = ::recv(c.socket.get(), buffer, sizeof buffer, 0);
    if (got < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) return;
    if (got <= 0) {
        table_.Drop(c);  // the peer left, or the connection failed
        return;
    }
    // Bytes a streaming listener sends after its request are read and ignored.
    if (phase != Phase::kRequest) return;
    c.request.append(buffer, got);
    OnRequestHead(c, now);
}

void SinkServer::OnRequestHead(Connection& c, DWORD now) {
    RequestTarget target;
    const RequestParse parse = ParseRequest(c.request, &target);
    if (parse == RequestParse::kIncomplete) return;
    if (parse == RequestParse::kBad) {
        table_.Refuse(c, 400, "Bad Request");
        return;
    }
    if (parse == RequestParse::kReference) {
        // The address the client used, so that the reference leads it back here.
        const std::string host = target.host.empty() ? "127.0.0.1:" + std::to_string(port_) : target.host;
        AppendReferenceResponse(&c.reply, "http://" + host + target.path);
        table_.Answered(c);
        return;
    }
    c.play = parse == RequestParse::kPlay;
    c.since = now;
    // Allocated here, outside the lock: the writer touches a queue only once its listener
    // streams, and the reply (response head and header chunk) then only has to be filled in.
    c.reply.reserve(sizeof kStreamingResponse + kChunkHeadSize + table_.HeaderSize());
    if (c.play && !TakeQueue(c)) {
        table_.Refuse(c, 503, "Service Unavailable");
        return;
    }
    table_.Requested(c);
}

void SinkServer::Send(Connection& c) {
    if (!c.reply.empty()) {
        const size_t left = c.reply.size() - c.replySent;
        const int n = SendSome(c, c.reply.data() + c.replySent, left);
        if (n <= 0) return;
        c.replySent += n;
        if (static_cast<size_t>(n) < left) return;
        std::vector<BYTE>().swap(c.reply);
        c.replySent = 0;
    }
    // The queue lies in at most two pieces.
    for (int piece = 0; piece < 2; ++piece) {
        const BYTE* data = nullptr;
        size_t size = 0;
        if (!table_.QueuedFront(c, &data, &size)) return;
        const int n = SendSome(c, data, size);
        if (n <= 0) return;
        table_.Sent(c, n);
        if (static_cast<size_t>(n) < size) return;
    }
}

bool SinkServer::TakeQueue(Connection& c) noexcept {
    if (spareQueues_.empty()) return c.queue.Allocate(kQueueCapacity);
    c.queue = std::move(spareQueues_.back());
    spareQueues_.pop_back();
    c.queue.Clear();
    return true;
}

// Finished connections are out of the table: nobody else can reach their queues.
void SinkServer::Recycle(std::vector<std::unique_ptr<Connection>>* finished) noexcept {
    for (const auto& c : *finished) {
        // Within the room reserved at the start: keeping one never allocates.
        if (spareQueues_.size() >= kSpareQueues || spareQueues_.size() >= spareQueues_.capacity()) return;
        if (c->queue.Capacity() == kQueueCapacity) spareQueues_.push_back(std::move(c->queue));
    }
}

// What send took: 0 when the socket is full, -1 when the connection failed and was dropped.
int SinkServer::SendSome(Connection& c, const BYTE* data, size_t size) noexcept {
    const int n = ::send(c.socket.get(), reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
    if (n >= 0) return n;
    if (::WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    table_.Drop(c);
    return -1;
}

}  // namespace wmstandin
