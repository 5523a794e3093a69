#include "peercast/JsonRpcExchange.h"

#include "peercast/BoundedConnection.h"
#include "peercast/PeerCastMetadata.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {

std::string ComposeJsonRpcPost(const char* host, int port, const std::string& body) {
    return win::Firewall(std::string(), [&] {
        std::string request = "POST /api/1 HTTP/1.0\r\n";
        request += "Host: ";
        request += host ? host : "";
        request += ":" + std::to_string(port) + "\r\n";
        request += "Content-Type: application/json\r\n";
        request += "X-Requested-With: XMLHttpRequest\r\n";
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        request += "\r\n";
        request += body;
        return request;
    });
}

int ExchangeHttp(const char* host, int port, const std::string& request, DWORD startMs,
                 const std::atomic<LONG>* cancel, HttpReply& reply, bool* connected) {
    if (connected) *connected = false;
    return win::Firewall(0, [&] {
        BoundedConnection connection(startMs, kPeerCastTimeoutSeconds * 1000, cancel);
        if (connection.Over() || request.empty()) return 0;
        if (connection.Connect(host, port) != 0) return 0;
        if (connected) *connected = true;
        if (connection.SendAll(request.data(), static_cast<int>(request.size())) <= 0) return 0;
        const int whole = ReadHttpReply(connection, reply);
        connection.Close();
        return whole;
    });
}

int ExchangeJsonRpc(const char* host, int port, const std::string& body, DWORD startMs,
                    const std::atomic<LONG>* cancel, HttpReply& reply) {
    return ExchangeHttp(host, port, ComposeJsonRpcPost(host, port, body), startMs, cancel, reply);
}

}  // namespace ombrel
