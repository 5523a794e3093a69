#include "tests/common/StandInNode.h"

#include <cctype>
#include <cstdlib>
#include <utility>

#include "tests/common/Loopback.h"
#include "tests/common/Stopwatch.h"

namespace ombrel::test {

StandInNode::StandInNode(NodeBehaviour behaviour, std::string head)
    : behaviour_(behaviour),
      head_(std::move(head)),
      rpc_(behaviour == NodeBehaviour::PeerCastStation ? RpcFlavour::PeerCastStation : RpcFlavour::PeerCastYt) {
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

void StandInNode::AddChannel(const std::string& name, bool broadcasting) {
    std::lock_guard<std::mutex> lock(mutex_);
    rpc_.AddChannel(name, broadcasting);
}

std::vector<nlohmann::json> StandInNode::RpcCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rpc_.Calls();
}

void StandInNode::SetYellowPage(bool listed) {
    std::lock_guard<std::mutex> lock(mutex_);
    rpc_.SetYellowPage(listed);
}

std::vector<AdminChannel> StandInNode::AdminChannels() {
    std::lock_guard<std::mutex> lock(mutex_);
    return admin_.Channels();
}

void StandInNode::AddAdminChannel(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    admin_.AddChannel(name);
}

nlohmann::json StandInNode::Channels() {
    std::lock_guard<std::mutex> lock(mutex_);
    return rpc_.Channels();
}

nlohmann::json StandInNode::Channel(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    return rpc_.Channel(name);
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

namespace {

// The request's whole size once its head has come: the head, and the body its Content-Length
// announces; npos while the head goes on.
size_t RequestSize(const std::string& request) {
    const size_t headEnd = request.find("\r\n\r\n");
    if (headEnd == std::string::npos) return std::string::npos;
    std::string head = request.substr(0, headEnd);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t field = head.find("\r\ncontent-length:");
    const size_t length = field == std::string::npos ? 0 : std::strtoul(head.c_str() + field + 17, nullptr, 10);
    return headEnd + 4 + length;
}

}  // namespace

// Bytes until the end of a request (its head and the body its Content-Length announces), the
// client's close, or 10 s of quiet.
std::string StandInNode::ReadRequest(SOCKET client) {
    std::string request;
    Stopwatch quiet;
    while (!stop_ && (RequestSize(request) == std::string::npos || request.size() < RequestSize(request))) {
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
        case NodeBehaviour::JsonRpc:
        case NodeBehaviour::JsonRpcError:
        case NodeBehaviour::JsonRpcGarbage:
        case NodeBehaviour::JsonRpcTruncated:
        case NodeBehaviour::JsonRpcOversized:
        case NodeBehaviour::JsonRpcSilent:
        case NodeBehaviour::Forbidden:
        case NodeBehaviour::PeerCastStation:
        case NodeBehaviour::JsonRpcSlowCreate:
        case NodeBehaviour::JsonRpcSilentStop:
            AnswerJsonRpc(client, seen);
            break;
        case NodeBehaviour::OldStyle: {
            std::string answer;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                answer = admin_.Answer(seen.request);
            }
            SendText(client, answer);
            break;
        }
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

// The body of a JSON-RPC node's answer to a POST.
std::string StandInNode::JsonRpcBody(const std::string& request) {
    const std::string body = request.substr(request.find("\r\n\r\n") + 4);
    switch (behaviour_) {
        case NodeBehaviour::JsonRpcError:
            return R"({"jsonrpc":"2.0","error":{"code":-32601,"message":"Method not found"},"id":1})";
        case NodeBehaviour::JsonRpcGarbage:
            return "<html><body>{\"jsonrpc\":\"2.0\",\"result\":[</body></html>";
        case NodeBehaviour::JsonRpcOversized: {
            std::lock_guard<std::mutex> lock(mutex_);
            nlohmann::json answer = nlohmann::json::parse(rpc_.Answer(body));
            if (answer.contains("result") && answer["result"].is_array()) {
                const nlohmann::json other = {{"channelId", "FFFF"}, {"info", {{"name", std::string(1000, 'x')}}}};
                while (answer.dump().size() < 300 * 1024) answer["result"].push_back(other);
            }
            return answer.dump();
        }
        default: {
            std::lock_guard<std::mutex> lock(mutex_);
            return rpc_.Answer(body);
        }
    }
}

void StandInNode::AnswerJsonRpc(SOCKET client, NodeConnection& seen) {
    const std::string& request = seen.request;
    if (behaviour_ == NodeBehaviour::Forbidden) {
        SendText(client, "HTTP/1.0 403 Forbidden\r\n\r\n");
        return;
    }
    if (request.compare(0, 13, "POST /api/1 H") != 0) {
        SendText(client, "HTTP/1.0 400 Bad Request\r\n\r\n");
        return;
    }
    if (behaviour_ == NodeBehaviour::PeerCastStation) {
        // Its API host takes a call only with the header its own pages send and a length.
        std::string head = request.substr(0, request.find("\r\n\r\n"));
        for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (head.find("\r\ncontent-length:") == std::string::npos) {
            SendText(client, "HTTP/1.0 411 Length Required\r\n\r\n");
            return;
        }
        if (head.find("\r\nx-requested-with:") == std::string::npos) {
            SendText(client, "HTTP/1.0 400 Bad Request\r\n\r\n");
            return;
        }
    }
    if (behaviour_ == NodeBehaviour::JsonRpcSilent) {
        HoldUntilClientCloses(client, seen);
        return;
    }
    const std::string body = JsonRpcBody(request);
    if ((behaviour_ == NodeBehaviour::JsonRpcSlowCreate && request.find("\"fetch\"") != std::string::npos) ||
        (behaviour_ == NodeBehaviour::JsonRpcSilentStop && request.find("\"stopChannel\"") != std::string::npos)) {
        HoldUntilClientCloses(client, seen);
        return;
    }
    const size_t announced = body.size() + (behaviour_ == NodeBehaviour::JsonRpcTruncated ? 100 : 0);
    SendText(client, "HTTP/1.0 200 OK\r\nServer: PeerCast/0.0 (stand-in)\r\nContent-Length: " +
                         std::to_string(announced) + "\r\nContent-Type: application/json\r\n\r\n" + body);
}

}  // namespace ombrel::test
