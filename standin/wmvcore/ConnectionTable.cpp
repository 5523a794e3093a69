#include "standin/wmvcore/ConnectionTable.h"

#include <new>

#include "standin/wmvcore/PacketJoin.h"
#include "standin/wmvcore/PacketRebase.h"

namespace wmstandin {
namespace {

constexpr DWORD kRequestTimeoutMs = 5000;  // for the request head to arrive
constexpr DWORD kHeaderWaitMs = 10000;     // for the writer's header, once asked for

// The serving thread sends these; the writer never appends to them.
bool HasReply(const Connection& c) noexcept { return !c.reply.empty(); }
bool Sends(Phase phase) noexcept { return phase == Phase::kStreaming || phase == Phase::kFlushing; }

}  // namespace

// ---- the writer's side ----

HRESULT ConnectionTable::SetHeader(const BYTE* data, DWORD size) noexcept {
    try {
        // Copied before the lock, and the old header freed after it.
        std::vector<BYTE> header(data, data + size);
        win::CsLock lock(cs_);
        header_.swap(header);
        location_ = 0;
        ended_ = false;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void ConnectionTable::Deliver(const BYTE* data, DWORD size) noexcept {
    win::CsLock lock(cs_);
    const DWORD location = location_++;
    size_t joinSize = 0;
    bool joinMade = false;
    for (auto& c : connections_) {
        if (c->phase != Phase::kStreaming) continue;
        const BYTE* bytes = data;
        size_t length = size;
        if (!c->joined) {
            // A new listener starts at a payload boundary; a packet with nothing to start
            // from is skipped, keeping its location, as a server skipping packets does.
            if (!joinMade) joinSize = JoinPacket(data, size, joinPacket_, sizeof joinPacket_);
            joinMade = true;
            if (joinSize == 0) continue;
            bytes = joinPacket_;
            length = joinSize;
            c->joined = true;
            c->timeBase = PacketSendTime(bytes, length);
        }
        // Its stream time begins where it joined, as a file's does at its first packet.
        if (c->timeBase != 0) {
            length = RebasePacket(bytes, length, c->timeBase, rebased_, sizeof rebased_);
            bytes = rebased_;
        }
        // A listener that stopped reading: dropped, and no longer counted, at once.
        if (c->queue.Used() + kChunkHeadSize + length > kQueueLimit ||
            !AppendDataChunk(&c->queue, location, bytes, length))
            DropLocked(*c);
    }
}

void ConnectionTable::EndWriting() noexcept {
    win::CsLock lock(cs_);
    ended_ = true;
    EndStreams();
}

void ConnectionTable::DropAll() noexcept {
    win::CsLock lock(cs_);
    for (auto& c : connections_) DropLocked(*c);
}

void ConnectionTable::SetMaximum(DWORD listeners) noexcept {
    win::CsLock lock(cs_);
    maxClients_ = listeners;
}

DWORD ConnectionTable::Maximum() noexcept {
    win::CsLock lock(cs_);
    return maxClients_;
}

bool ConnectionTable::PeerOf(DWORD index, sockaddr_in* peer) noexcept {
    win::CsLock lock(cs_);
    for (const auto& c : connections_) {
        if (c->counted && index-- == 0) {
            *peer = c->peer;
            return true;
        }
    }
    return false;
}

// ---- the serving thread's side ----

void ConnectionTable::Reserve() {
    win::CsLock lock(cs_);
    connections_.reserve(kMaxConnections);
}

size_t ConnectionTable::HeaderSize() noexcept {
    win::CsLock lock(cs_);
    return header_.size();
}

bool ConnectionTable::Watch(std::vector<Watched>* watched, fd_set* readable, fd_set* writable) {
    watched->clear();
    watched->reserve(kMaxConnections);  // grown, if ever, outside the lock
    win::CsLock lock(cs_);
    for (const auto& c : connections_) {
        watched->push_back({c.get(), c->phase});
        const SOCKET s = c->socket.get();
        // A streaming listener that closes is noticed by a read of 0 bytes.
        if (c->phase == Phase::kRequest || c->phase == Phase::kStreaming) FD_SET(s, readable);
        if (HasReply(*c) || (Sends(c->phase) && c->queue.Used() > 0)) FD_SET(s, writable);
    }
    return connections_.size() < kMaxConnections && connections_.size() < FD_SETSIZE - 1;
}

void ConnectionTable::Add(std::unique_ptr<Connection> connection) {
    win::CsLock lock(cs_);
    connections_.push_back(std::move(connection));
}

void ConnectionTable::Requested(Connection& c) noexcept {
    win::CsLock lock(cs_);
    if (c.phase == Phase::kRequest) c.phase = Phase::kWaitHeader;
}

void ConnectionTable::Answered(Connection& c) noexcept {
    win::CsLock lock(cs_);
    if (c.phase == Phase::kRequest) c.phase = Phase::kFlushing;
}

void ConnectionTable::Refuse(Connection& c, int code, const char* reason) {
    win::CsLock lock(cs_);
    RefuseLocked(c, code, reason);
}

void ConnectionTable::Drop(Connection& c) noexcept {
    win::CsLock lock(cs_);
    DropLocked(c);
}

void ConnectionTable::Advance(Connection& c, DWORD now) {
    win::CsLock lock(cs_);
    if (c.phase == Phase::kRequest && now - c.since > kRequestTimeoutMs) {
        RefuseLocked(c, 408, "Request Timeout");
    } else if (c.phase == Phase::kWaitHeader) {
        if (!header_.empty()) {
            StartStreaming(c);
        } else if (now - c.since > kHeaderWaitMs) {
            RefuseLocked(c, 503, "Service Unavailable");
        }
    }
}

bool ConnectionTable::QueuedFront(Connection& c, const BYTE** data, size_t* size) noexcept {
    win::CsLock lock(cs_);
    if (!Sends(c.phase)) return false;
    *data = c.queue.Front(size);
    return *size > 0;
}

void ConnectionTable::Sent(Connection& c, size_t size) noexcept {
    win::CsLock lock(cs_);
    // A drop in the meantime has abandoned the queue.
    if (Sends(c.phase)) c.queue.Consume(size);
}

void ConnectionTable::TakeFinished(std::vector<std::unique_ptr<Connection>>* finished) {
    finished->reserve(kMaxConnections);
    win::CsLock lock(cs_);
    for (size_t i = 0; i < connections_.size();) {
        Connection& c = *connections_[i];
        const bool flushed = c.phase == Phase::kFlushing && !HasReply(c) && c.queue.Used() == 0;
        if (c.phase == Phase::kDropped || flushed) {
            Uncount(c);
            finished->push_back(std::move(connections_[i]));
            connections_.erase(connections_.begin() + i);
        } else {
            ++i;
        }
    }
}

void ConnectionTable::EndForClose() noexcept {
    win::CsLock lock(cs_);
    EndStreams();
    for (auto& c : connections_) {
        if (c->phase == Phase::kRequest || c->phase == Phase::kWaitHeader) DropLocked(*c);
    }
}

bool ConnectionTable::Empty() noexcept {
    win::CsLock lock(cs_);
    return connections_.empty();
}

void ConnectionTable::Clear() noexcept {
    std::vector<std::unique_ptr<Connection>> closing;
    {
        win::CsLock lock(cs_);
        closing.swap(connections_);
        counted_ = 0;
    }
    // The sockets close here, outside the lock.
}

// ---- under the lock ----

void ConnectionTable::EndStreams() noexcept {
    for (auto& c : connections_) {
        if (c->phase != Phase::kStreaming) continue;
        if (!c->queue.Append(kEndChunk, sizeof kEndChunk)) {
            DropLocked(*c);
            continue;
        }
        c->phase = Phase::kFlushing;
        Uncount(*c);
    }
}

void ConnectionTable::Uncount(Connection& c) noexcept {
    if (c.counted) {
        c.counted = false;
        --counted_;
    }
}

void ConnectionTable::DropLocked(Connection& c) noexcept {
    Uncount(c);
    c.phase = Phase::kDropped;
}

void ConnectionTable::RefuseLocked(Connection& c, int code, const char* reason) {
    if (c.phase != Phase::kRequest && c.phase != Phase::kWaitHeader) return;
    c.reply.clear();
    c.replySent = 0;
    AppendErrorResponse(&c.reply, code, reason);
    c.phase = Phase::kFlushing;
}

void ConnectionTable::StartStreaming(Connection& c) {
    if (c.play && static_cast<DWORD>(counted_.load()) >= maxClients_) {
        RefuseLocked(c, 503, "Service Unavailable");
        return;
    }
    AppendText(&c.reply, kStreamingResponse);
    AppendHeaderChunk(&c.reply, header_);
    if (c.play && !ended_) {
        c.phase = Phase::kStreaming;
        c.counted = true;
        ++counted_;
    } else {
        c.phase = Phase::kFlushing;  // a describe gets the header only
    }
}

}  // namespace wmstandin
