// The network sink's serving thread: accepts on 127.0.0.1, reads each request, and sends each
// connection its reply and its queued chunks, making every socket call outside the table's
// lock. A close ends the streams and goes on serving until every queued byte and end chunk
// has gone out, or until a bound has passed, so a listener that stopped reading cannot hold a
// stop for longer than that.
#pragma once

#include <winsock.h>

#include <atomic>
#include <memory>
#include <vector>

#include "standin/wmvcore/ConnectionTable.h"
#include "win/UniqueSocket.h"

namespace wmstandin {

class SinkServer {
public:
    explicit SinkServer(ConnectionTable& table) : table_(table) {}

    // Listens on 127.0.0.1 at *port, or at a free port for 0, written back.
    HRESULT Listen(DWORD* port) noexcept;
    bool Listening() const noexcept { return static_cast<bool>(listener_); }
    DWORD Port() const noexcept { return port_; }
    void CloseListener() noexcept { listener_.reset(); }

    // The thread's body: serves until a close has flushed or its bound has passed.
    void Serve() noexcept;
    // Asks Serve to finish within boundMs.
    void BeginClose(DWORD boundMs) noexcept;

private:
    void ServeOnce(bool closing);
    void Step(const Watched& w, const fd_set& readable, const fd_set& writable, DWORD now, bool any);
    void Accept();
    void Receive(Connection& c, Phase phase, DWORD now);
    void OnRequestHead(Connection& c, DWORD now);
    void Send(Connection& c);
    int SendSome(Connection& c, const BYTE* data, size_t size) noexcept;
    bool TakeQueue(Connection& c) noexcept;
    void Recycle(std::vector<std::unique_ptr<Connection>>* finished) noexcept;
    void Linger(DWORD now) noexcept;
    void Drain(const fd_set& readable, bool any, DWORD now) noexcept;

    ConnectionTable& table_;
    win::UniqueSocket listener_;
    DWORD port_ = 0;
    std::atomic<bool> closing_{false};
    std::atomic<DWORD> closeBy_{0};
    // The serving thread's, kept from round to round.
    std::vector<Watched> watched_;
    std::vector<std::unique_ptr<Connection>> finished_;
    // Connections answered to the end, their sending side shut: read and dropped until the peer
    // closes or a bound passes (a lingering close). A client that still writes, as an MMS-over-TCP
    // client does after a refusal, then gets an end of stream instead of a reset, which some
    // players take as a broken pipe and quit on instead of trying MMS over HTTP next.
    std::vector<std::unique_ptr<Connection>> lingering_;
    // Queues of listeners that left, for the next ones: listeners that come and go then cost
    // no allocation of a queue, which holds the heap's lock the writer's thread also takes.
    std::vector<ByteRing> spareQueues_;
};

}  // namespace wmstandin
