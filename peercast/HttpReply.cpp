#include "peercast/HttpReply.h"

#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

// The end of the head's empty line in received (the offset of the body), or npos while the head
// goes on. Lines end in a line feed, with or without carriage returns before it.
size_t ParseHead(const std::string& received, HttpReply& reply) {
    size_t scan = 0;
    for (;;) {
        const size_t feed = received.find('\n', scan);
        if (feed == std::string::npos) return std::string::npos;
        size_t end = feed;
        while (end > scan && received[end - 1] == '\r') --end;
        const std::string line = received.substr(scan, end - scan);
        const bool first = scan == 0;
        scan = feed + 1;
        if (first) {
            reply.status = HttpStatusCode(line);
        } else if (line.empty()) {
            return scan;
        } else {
            AddHeaderLine(line, reply.headers);
        }
    }
}

// The body length the head announces: -1 when it announces none, -2 when it is no number or more
// than the limit.
long long AnnouncedLength(const HttpHeaderMap& headers) {
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
                bodyAt = ParseHead(received, reply);
                if (bodyAt == std::string::npos) {
                    reply.headers.clear();  // parsed again with the rest of the head
                    continue;
                }
                length = AnnouncedLength(reply.headers);
                if (length == -2 || bodyAt + static_cast<size_t>(length < 0 ? 0 : length) > kMaxPeerCastReplyBytes)
                    return 0;
            }
        }
    });
}

}  // namespace ombrel
