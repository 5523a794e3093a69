#include "standin/wmvcore/HttpRequest.h"

#include <algorithm>
#include <cctype>

namespace wmstandin {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

bool Printable(const std::string& line) {
    for (unsigned char c : line) {
        if (c < 0x20 && c != '\t' && c != '\r') return false;
        if (c == 0x7F) return false;
    }
    return true;
}

// Where the head ends: the line feed before its first empty line, which is a line feed alone
// or after one carriage return (clients end lines with CR LF, some with LF alone). Only an
// end that lies wholly within the bound counts, and the earliest one wins, so the answer
// never depends on how the bytes were split into reads.
size_t HeadEnd(const std::string& received) {
    const size_t limit = received.size() < kMaxRequestHead ? received.size() : kMaxRequestHead;
    for (size_t feed = received.find('\n'); feed < limit; feed = received.find('\n', feed + 1)) {
        if (feed + 1 < limit && received[feed + 1] == '\n') return feed;
        if (feed + 2 < limit && received[feed + 1] == '\r' && received[feed + 2] == '\n') return feed;
    }
    return std::string::npos;
}

// Whether the first `limit` bytes can begin a GET request: the method's letters, and then only
// text. An MMS-over-TCP client (mms:// tried first by several players) starts with binary
// bytes and is refused at once instead of at the request time-out.
bool CanBeginRequest(const std::string& received, size_t limit) {
    static const char kMethod[] = "GET ";
    for (size_t i = 0; i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(received[i]);
        if (i < sizeof kMethod - 1 && c != static_cast<unsigned char>(kMethod[i])) return false;
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) return false;
    }
    return true;
}

}  // namespace

RequestParse ParseRequest(const std::string& received, RequestTarget* target) {
    const size_t end = HeadEnd(received);
    // Only the head is read: what follows its end is not this request's.
    const size_t scanned = end != std::string::npos ? end : std::min(received.size(), kMaxRequestHead);
    if (!CanBeginRequest(received, scanned)) return RequestParse::kBad;
    if (end == std::string::npos) {
        return received.size() >= kMaxRequestHead ? RequestParse::kBad : RequestParse::kIncomplete;
    }
    const std::string head = received.substr(0, end);

    bool first = true;
    bool play = false;
    bool mediaPlayer = false;
    RequestTarget found;
    size_t pos = 0;
    while (pos <= head.size()) {
        size_t nl = head.find('\n', pos);
        if (nl == std::string::npos) nl = head.size();
        const std::string line = Trim(head.substr(pos, nl - pos));
        pos = nl + 1;
        if (!Printable(line)) return RequestParse::kBad;
        if (first) {
            first = false;
            // "GET <path> HTTP/1.x"
            const size_t a = line.find(' ');
            const size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
            if (a == std::string::npos || b == std::string::npos) return RequestParse::kBad;
            if (line.substr(0, a) != "GET") return RequestParse::kBad;
            if (b == a + 1 || line[a + 1] != '/') return RequestParse::kBad;
            if (line.compare(b + 1, 7, "HTTP/1.") != 0 || line.size() != b + 9) return RequestParse::kBad;
            found.path = line.substr(a + 1, b - a - 1);
            continue;
        }
        if (line.empty()) continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0) return RequestParse::kBad;
        const std::string name = Lower(Trim(line.substr(0, colon)));
        const std::string value = Trim(line.substr(colon + 1));
        // Pragma lines belong to Windows Media clients only. Their values are comma-separated
        // directives; some clients write several per line.
        if (name == "pragma") {
            mediaPlayer = true;
            if (Lower(value).find("xplaystrm=1") != std::string::npos) play = true;
        }
        // Players (NSPlayer) and servers relaying a stream (NSServer) name themselves so.
        if (name == "user-agent" &&
            (value.find("NSPlayer") != std::string::npos || value.find("NSServer") != std::string::npos))
            mediaPlayer = true;
        if (name == "host") found.host = value;
    }
    if (target) *target = found;
    if (!mediaPlayer) return RequestParse::kReference;
    return play ? RequestParse::kPlay : RequestParse::kDescribe;
}

}  // namespace wmstandin
