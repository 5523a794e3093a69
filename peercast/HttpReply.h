// A node's whole answer to one request: status, header fields and body, read up to a fixed size.
#pragma once

#include <cstddef>
#include <string>

#include "peercast/ResponseHead.h"
#include "peercast/TcpConnection.h"

namespace ombrel {

// The most bytes (head and body together) taken of one answer. A getChannels answer is about
// 1 KiB a channel, so a node with hundreds of channels still fits; a bigger answer ends the update.
constexpr size_t kMaxPeerCastReplyBytes = 256 * 1024;

struct HttpReply {
    int status = 0;  // HttpStatusCode of the status line; 0 when there was none
    HttpHeaderMap headers;
    std::string body;
};

// Receives an answer: its head, then Content-Length bytes of body or, without that field or with
// "Connection: close", what comes until the node closes. 1 when the whole answer came; 0 when the connection failed or
// timed out first, the body came short of its Content-Length, the length is not a number, or
// the answer would pass kMaxPeerCastReplyBytes. reply keeps what was read either way.
int ReadHttpReply(TcpConnection& connection, HttpReply& reply);

}  // namespace ombrel
