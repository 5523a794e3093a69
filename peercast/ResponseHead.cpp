#include "peercast/ResponseHead.h"

#include <windows.h>

#include <cstring>

#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

// The next character at p (advancing past it): a double-byte character as lead * 256 +
// trail, a single byte as itself, 0 at the end.
unsigned NextCharacter(const unsigned char*& p, const unsigned char* end) {
    if (p == end) return 0;
    unsigned value = *p++;
    if (::IsDBCSLeadByte(static_cast<BYTE>(value)) && p != end) value = (value << 8) | *p++;
    return value;
}

std::string TrimSpaces(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

void AddHeaderLine(const std::string& line, HttpHeaderMap& headers) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    std::string name = LowerAnsi(TrimSpaces(line.substr(0, colon)));
    // Old PeerCast builds write some fields with a doubled colon ("Content-Length:: 233"): the
    // field is still the one named before it.
    const size_t valueAt = line.find_first_not_of(':', colon);
    std::string value = TrimSpaces(valueAt == std::string::npos ? std::string() : line.substr(valueAt));
    headers.emplace(std::move(name), std::move(value));  // keeps an earlier value
}

}  // namespace

int HttpStatusCode(const std::string& statusLine) {
    if (statusLine.compare(0, 5, "HTTP/") != 0) return 0;
    const size_t space = statusLine.find(' ');
    if (space == std::string::npos || statusLine.size() < space + 4) return 0;
    int code = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        const char digit = statusLine[i];
        if (digit < '0' || digit > '9') return 0;
        code = code * 10 + (digit - '0');
    }
    if (statusLine.size() > space + 4 && statusLine[space + 4] != ' ') return 0;
    return code >= 100 ? code : 0;
}

size_t ParseHeadLines(const std::string& received, size_t& scan, std::string& statusLine, HttpHeaderMap& headers) {
    for (;;) {
        const size_t feed = received.find('\n', scan);
        if (feed == std::string::npos) return std::string::npos;
        size_t end = feed;
        while (end > scan && received[end - 1] == '\r') --end;
        std::string line = received.substr(scan, end - scan);
        const bool first = scan == 0;
        scan = feed + 1;
        if (first) {
            statusLine = std::move(line);
        } else if (line.empty()) {
            return scan;
        } else {
            AddHeaderLine(line, headers);
        }
    }
}

bool MultibyteLess::operator()(const std::string& a, const std::string& b) const noexcept {
    const unsigned char* pa = reinterpret_cast<const unsigned char*>(a.data());
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(b.data());
    const unsigned char* endA = pa + a.size();
    const unsigned char* endB = pb + b.size();
    for (;;) {
        const bool doneA = pa == endA;
        const bool doneB = pb == endB;
        if (doneA || doneB) return doneA && !doneB;
        const unsigned ca = NextCharacter(pa, endA);
        const unsigned cb = NextCharacter(pb, endB);
        if (ca != cb) return ca < cb;
    }
}

std::string LowerAnsi(const std::string& text) {
    std::string out = text;
    for (size_t i = 0; i < out.size(); ++i) {
        const BYTE byte = static_cast<BYTE>(out[i]);
        if (::IsDBCSLeadByte(byte)) {
            ++i;  // the trail byte stays too
        } else if (byte >= 'A' && byte <= 'Z') {
            out[i] = static_cast<char>(byte - 'A' + 'a');
        } else if (byte >= 0x80) {
            ::CharLowerBuffA(&out[i], 1);
        }
    }
    return out;
}

int ReadResponseHead(TcpConnection& connection, std::string& statusLine, HttpHeaderMap& headers) {
    return win::Firewall(0, [&] {
        std::string received;
        size_t scan = 0;
        size_t total = 0;
        char chunk[kResponseChunkSize];
        // The bound counts every received byte, so a peer that sends zero bytes (which end
        // what is taken of a chunk) cannot keep the read going either.
        while (total < kMaxResponseHeadBytes) {
            const int got = connection.Receive(chunk, sizeof chunk);
            if (got <= 0) return 0;
            total += static_cast<size_t>(got);
            received.append(chunk, strnlen(chunk, static_cast<size_t>(got)));

            if (ParseHeadLines(received, scan, statusLine, headers) != std::string::npos) return 1;
        }
        return 0;
    });
}

}  // namespace ombrel
