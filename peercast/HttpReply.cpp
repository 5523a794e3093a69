#include "peercast/HttpReply.h"

#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

// The body length the head announces: -1 when it announces none, -2 when it is no number or more
// than the limit. An answer that says the node closes after it ends at the close, whatever length
// it names: an old PeerCast build names one that is not its body's.
long long AnnouncedLength(const HttpHeaderMap& headers) {
    const auto connection = headers.find("connection");
    if (connection != headers.end() && LowerAnsi(connection->second) == "close") return -1;
    const auto field = headers.find("content-length");
    if (field == headers.end()) return -1;
    const std::string& text = field->second;
    if (text.empty()) return -2;
    long long length = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9') return -2;
        length = length * 10 + (digit - '0');
        if (length > static_cast<long long>(kMaxPeerCastReplyBytes)) return -2;
    }
    return length;
}

}  // namespace

int ReadHttpReply(TcpConnection& connection, HttpReply& reply) {
    return win::Firewall(0, [&] {
        std::string received;
        std::string statusLine;
        size_t scan = 0;
        size_t bodyAt = std::string::npos;
        long long length = -1;
        char chunk[kResponseChunkSize];
        for (;;) {
            if (bodyAt != std::string::npos && length >= 0 &&
                received.size() - bodyAt >= static_cast<size_t>(length)) {
                reply.body = received.substr(bodyAt, static_cast<size_t>(length));
                return 1;
            }
            const int got = connection.Receive(chunk, sizeof chunk);
            if (got <= 0) {
                // Without a length, the node's close ends the body; a time-out or a stop does not.
                const bool closed = got == kSocketFailed && bodyAt != std::string::npos && length < 0;
                if (bodyAt != std::string::npos) reply.body = received.substr(bodyAt);
                return closed ? 1 : 0;
            }
            if (received.size() + static_cast<size_t>(got) > kMaxPeerCastReplyBytes) return 0;
            received.append(chunk, static_cast<size_t>(got));
            if (bodyAt == std::string::npos) {
                bodyAt = ParseHeadLines(received, scan, statusLine, reply.headers);
                if (bodyAt == std::string::npos) continue;
                reply.status = HttpStatusCode(statusLine);
                length = AnnouncedLength(reply.headers);
                if (length == -2 || bodyAt + static_cast<size_t>(length < 0 ? 0 : length) > kMaxPeerCastReplyBytes)
                    return 0;
            }
        }
    });
}

}  // namespace ombrel
