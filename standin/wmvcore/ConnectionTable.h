// What the network sink's writer calls and its serving thread share: the connections, the
// writer's header and the listener count, under one lock. The writer's calls (on any thread,
// the plug-in's audio thread among them) only copy into queues allocated before a listener
// started streaming, so they never allocate and never wait on a socket; the serving thread
// holds the lock only to read or change a connection's state, never across a socket call.
#pragma once

#include <winsock.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "standin/wmvcore/ByteRing.h"
#include "standin/wmvcore/ChunkFraming.h"
#include "win/CriticalSection.h"
#include "win/UniqueSocket.h"

namespace wmstandin {

constexpr size_t kMaxConnections = 64;       // listeners and requests in progress together
constexpr size_t kQueueLimit = 1024 * 1024;  // bytes queued per listener before it is dropped
constexpr size_t kQueueCapacity = kQueueLimit + sizeof kEndChunk;
constexpr size_t kMaxDataUnit = 8192;  // the longest data packet taken: PeerCast nodes refuse longer chunks

enum class Phase {
    kRequest,     // reading the request head
    kWaitHeader,  // asked; waiting for the writer's header
    kStreaming,   // a counted listener: the writer queues its packets
    kFlushing,    // sends what is queued, then closes: a refusal, a reference, a header only, or an ended stream
    kDropped,     // closed at once, whatever is queued
};

struct Connection {
    // Fixed once accepted.
    win::UniqueSocket socket;
    sockaddr_in peer{};
    // Under the table's lock. The writer appends to the queue only while the phase is kStreaming.
    Phase phase = Phase::kRequest;
    bool counted = false;  // a playing listener, part of the client count
    bool joined = false;   // a streaming listener has had its first packet, begun at a payload boundary
    DWORD timeBase = 0;    // the send time (ms) of its first packet: its stream time begins there
    ByteRing queue;
    // The serving thread's own.
    bool play = false;
    DWORD since = 0;  // tick of accept, or of the request's end
    std::string request;
    std::vector<BYTE> reply;  // response head and header chunk, or a refusal: sent before the queue
    size_t replySent = 0;
};

// A connection as the serving thread found it when it last looked.
struct Watched {
    Connection* connection;
    Phase phase;
};

class ConnectionTable {
public:
    // ---- the writer's side ----
    HRESULT SetHeader(const BYTE* data, DWORD size) noexcept;
    void Deliver(const BYTE* data, DWORD size) noexcept;  // a data packet to every listener
    void EndWriting() noexcept;                           // the end chunk to every listener
    void DropAll() noexcept;
    void SetMaximum(DWORD listeners) noexcept;
    DWORD Maximum() noexcept;
    long Count() const noexcept { return counted_.load(); }
    bool PeerOf(DWORD index, sockaddr_in* peer) noexcept;

    // ---- the serving thread's side ----
    // Room for kMaxConnections, taken before anyone streams so that adding one never grows
    // the table under the lock the writer takes.
    void Reserve();
    size_t HeaderSize() noexcept;
    // Every connection, with the sockets to read and to write set; whether one more may be added.
    bool Watch(std::vector<Watched>* watched, fd_set* readable, fd_set* writable);
    void Add(std::unique_ptr<Connection> connection);
    void Requested(Connection& c) noexcept;  // the request head has been read
    void Answered(Connection& c) noexcept;   // its whole answer is in its reply: send it, then close
    void Refuse(Connection& c, int code, const char* reason);
    void Drop(Connection& c) noexcept;
    // Request and header timeouts; a listener whose header is there starts streaming.
    void Advance(Connection& c, DWORD now);
    // The oldest queued bytes in one piece, while the connection still sends; false if none.
    bool QueuedFront(Connection& c, const BYTE** data, size_t* size) noexcept;
    void Sent(Connection& c, size_t size) noexcept;
    // Moves out the connections that are done: dropped, or flushed to the last byte.
    void TakeFinished(std::vector<std::unique_ptr<Connection>>* finished);
    // At a close: streams end as at the end of writing, connections not yet answered are dropped.
    void EndForClose() noexcept;
    bool Empty() noexcept;
    void Clear() noexcept;

private:
    void EndStreams() noexcept;
    void Uncount(Connection& c) noexcept;
    void DropLocked(Connection& c) noexcept;
    void RefuseLocked(Connection& c, int code, const char* reason);
    void StartStreaming(Connection& c);

    win::CriticalSection cs_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<BYTE> header_;
    std::atomic<long> counted_{0};
    DWORD maxClients_ = 5;
    DWORD location_ = 0;
    bool ended_ = false;
    BYTE joinPacket_[kMaxDataUnit];  // the writer's: the current packet as a new listener's first
    BYTE rebased_[kMaxDataUnit];     // the writer's: the current packet in one listener's stream time
};

}  // namespace wmstandin
