// A stand-in PeerCast node: a loopback HTTP listener on its own thread that records every
// request's bytes and answers as a real node would, or as a bad one.
#pragma once

#include <winsock.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/Loopback.h"
#include "tests/common/NodeAdmin.h"
#include "tests/common/NodeJsonRpc.h"

namespace ombrel::test {

// What the node does once it has read a request (up to its empty line).
enum class NodeBehaviour {
    AnswerAndClose,        // sends its head, closes
    AnswerAndKeepOpen,     // sends its head, keeps the connection until the client closes
    NeverAnswer,           // sends nothing, keeps the connection until the client closes
    CloseAfterStatusLine,  // sends the head's first line only, closes
    OneBytePerChunk,       // sends its head one byte per send, closes
    EndlessHead,           // sends header lines without an end until the client goes
    Drip,                  // sends its status line, then one byte every 500 ms until the client goes
    NeverRead,             // accepts every connection and reads none until the node stops
    // Nodes with the JSON-RPC interface: each answers setmeta with 400 Bad Request, and a
    // POST /api/1 (its body read up to its Content-Length) as follows.
    JsonRpc,           // as peercast-yt does, from the channels it holds (see NodeJsonRpc)
    JsonRpcError,      // a JSON-RPC error to every call
    JsonRpcGarbage,    // 200 with a body that is no JSON
    JsonRpcTruncated,  // 200 with a body short of its Content-Length, then closes
    JsonRpcOversized,  // a getChannels answer holding its channels among 300 KiB of others
    JsonRpcSilent,     // never answers a POST, keeps the connection until the client closes
    Forbidden,         // 403 Forbidden to every request
    PeerCastStation,   // as PeerCastStation: JSON-RPC (needing X-Requested-With), no setmeta
    JsonRpcSlowCreate, // as JsonRpc, but makes the channel of a fetch without ever answering it
    JsonRpcSilentStop, // as JsonRpc, but never answers stopChannel
    OldStyle,          // as a PeerCast IM build: the admin commands (see NodeAdmin), 302 to a POST
};

// A node's usual answer and the same with line feeds alone.
constexpr char kNodeHead[] = "HTTP/1.0 200 OK\r\nServer: PeerCast/0.1218\r\nContent-Type: text/html\r\n\r\n";
constexpr char kNodeHeadLf[] = "HTTP/1.0 200 OK\nServer: PeerCast/0.1218\nContent-Type: text/html\n\n";

// One connection as the node saw it.
struct NodeConnection {
    std::string request;        // every byte received before the node answered
    bool clientClosed = false;  // the client closed while the node held the connection
    DWORD clientClosedAfterMs = 0;  // from the node's last byte sent (or the request) to that close
};

class StandInNode {
public:
    explicit StandInNode(NodeBehaviour behaviour, std::string head = kNodeHead);
    ~StandInNode();
    StandInNode(const StandInNode&) = delete;
    StandInNode& operator=(const StandInNode&) = delete;

    bool listening() const { return listener_.ok(); }
    int port() const { return listener_.port(); }

    // Ends the node's thread; what it saw stays readable.
    void Stop();
    // The connections served so far; call after Stop or WaitForConnections. A node that never
    // reads takes what each connection brought only when it stops.
    std::vector<NodeConnection> Connections();
    // Waits until count connections are finished, at most ms milliseconds.
    bool WaitForConnections(size_t count, DWORD ms);

    // The JSON-RPC nodes' channels: one more broadcasting under name (UTF-8), and what
    // getChannels would list of the channel of that name (null when there is none).
    void AddChannel(const std::string& name, bool broadcasting = true);
    nlohmann::json Channel(const std::string& name);
    nlohmann::json Channels();
    // The JSON-RPC calls the node answered ("method" and "params").
    std::vector<nlohmann::json> RpcCalls();
    void SetYellowPage(bool listed);
    // The old-style node's channels.
    std::vector<AdminChannel> AdminChannels();
    void AddAdminChannel(const std::string& name);

private:
    void Run();
    void TakeUnread(std::vector<win::UniqueSocket>& unread);
    void Serve(SOCKET client);
    bool WaitReadable(SOCKET s, long ms);
    std::string ReadRequest(SOCKET client);
    void HoldUntilClientCloses(SOCKET client, NodeConnection& seen);
    void SendEndlessly(SOCKET client);
    void AnswerJsonRpc(SOCKET client, NodeConnection& seen);
    std::string JsonRpcBody(const std::string& request);

    NodeBehaviour behaviour_;
    std::string head_;
    LoopbackListener listener_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<NodeConnection> connections_;
    NodeJsonRpc rpc_;    // under mutex_
    NodeAdmin admin_;    // under mutex_
    std::thread thread_;
};

}  // namespace ombrel::test
