#include "tests/common/StandInNode.h"

#include <utility>

#include "tests/common/Loopback.h"
#include "tests/common/Stopwatch.h"

namespace ombrel::test {

StandInNode::StandInNode(NodeBehaviour behaviour, std::string head)
    : behaviour_(behaviour), head_(std::move(head)) {
    if (listener_.ok()) thread_ = std::thread([this] { Run(); });
}

StandInNode::~StandInNode() { Stop(); }

void StandInNode::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<NodeConnection> StandInNode::Connections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

bool StandInNode::WaitForConnections(size_t count, DWORD ms) {
    Stopwatch watch;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (connections_.size() >= count) return true;
        }
        if (watch.ms() >= ms) return false;
        ::Sleep(10);
    }
}

bool StandInNode::WaitReadable(SOCKET s, long ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval bound = {ms / 1000, (ms % 1000) * 1000};
    return ::select(0, &set, nullptr, nullptr, &bound) == 1;
}

void StandInNode::Run() {
    std::vector<win::UniqueSocket> unread;
    while (!stop_) {
        if (!WaitReadable(listener_.get(), 20)) continue;
        win::UniqueSocket client(::accept(listener_.get(), nullptr, nullptr));
        if (!client) continue;
        if (behaviour_ == NodeBehaviour::NeverRead) {
            unread.push_back(std::move(client));
        } else {
            Serve(client.get());
        }
    }
    TakeUnread(unread);
}

// What reached each unread connection, in the order they came, once the node stops.
void StandInNode::TakeUnread(std::vector<win::UniqueSocket>& unread) {
    for (win::UniqueSocket& client : unread) {
        NodeConnection seen;
        seen.request = ReceiveUntilClosed(client.get(), 100);
        seen.clientClosed = PeerClosed(client.get(), 0);
        std::lock_guard<std::mutex> lock(mutex_);
        connections_.push_back(std::move(seen));
    }
}

// Bytes until the empty line that ends a request head, the client's close, or 10 s of quiet.
std::string StandInNode::ReadRequest(SOCKET client) {
    std::string request;
    Stopwatch quiet;
    while (!stop_ && request.find("\r\n\r\n") == std::string::npos) {
        if (!WaitReadable(client, 20)) {
            if (quiet.ms() > 10000) break;
            continue;
        }
        char chunk[4096];
        const int got = ::recv(client, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        request.append(chunk, got);
        quiet = Stopwatch();
    }
    return request;
}

void StandInNode::HoldUntilClientCloses(SOCKET client, NodeConnection& seen) {
    Stopwatch held;
    while (!stop_) {
        if (!WaitReadable(client, 20)) continue;
        char chunk[256];
        if (::recv(client, chunk, sizeof chunk, 0) <= 0) {
            seen.clientClosed = true;
            seen.clientClosedAfterMs = held.ms();
            return;
        }
    }
}

void StandInNode::SendEndlessly(SOCKET client) {
    const std::string line = "X-Filler: 0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghij\r\n";
    std::string block;
    while (block.size() < 4000) block += line;
    if (!SendText(client, head_.substr(0, head_.find('\n') + 1))) return;
    while (!stop_) {
        // Never blocks for long: the client either reads or goes away.
        fd_set set;
        FD_ZERO(&set);
        FD_SET(client, &set);
        timeval bound = {0, 20000};
        if (::select(0, nullptr, &set, nullptr, &bound) != 1) continue;
        if (::send(client, block.data(), static_cast<int>(block.size()), 0) <= 0) return;
    }
}

void StandInNode::Serve(SOCKET client) {
    NodeConnection seen;
    seen.request = ReadRequest(client);
    switch (behaviour_) {
        case NodeBehaviour::AnswerAndClose:
            SendText(client, head_);
            break;
        case NodeBehaviour::AnswerAndKeepOpen:
            SendText(client, head_);
            HoldUntilClientCloses(client, seen);
            break;
        case NodeBehaviour::NeverAnswer:
            HoldUntilClientCloses(client, seen);
            break;
        case NodeBehaviour::CloseAfterStatusLine:
            SendText(client, head_.substr(0, head_.find('\n') + 1));
            break;
        case NodeBehaviour::OneBytePerChunk: {
            const BOOL noDelay = TRUE;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                         sizeof noDelay);
            for (char byte : head_) {
                if (::send(client, &byte, 1, 0) != 1) break;
                ::Sleep(2);
            }
            break;
        }
        case NodeBehaviour::EndlessHead:
            SendEndlessly(client);
            break;
        case NodeBehaviour::NeverRead:  // never served
            break;
        case NodeBehaviour::Drip:
            if (!SendText(client, head_.substr(0, head_.find('\n') + 1))) break;
            while (!stop_ && ::send(client, "X", 1, 0) == 1) {
                if (WaitReadable(client, 500)) {  // the client closed
                    seen.clientClosed = true;
                    break;
                }
            }
            break;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.push_back(std::move(seen));
}

}  // namespace ombrel::test
