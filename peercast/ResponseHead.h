// The head of an HTTP/1.0 response: its status line and header fields.
#pragma once

#include <map>
#include <string>

#include "peercast/TcpConnection.h"

namespace ombrel {

// Orders names as the ANSI code page's multibyte comparison does: character by character,
// a double-byte character counting as lead * 256 + trail, so above every single byte.
struct MultibyteLess {
    bool operator()(const std::string& a, const std::string& b) const noexcept;
};

// Header name (lower-cased, trimmed) to value (trimmed); the first of a repeated name wins.
using HttpHeaderMap = std::map<std::string, std::string, MultibyteLess>;

// Bytes asked of each Receive.
constexpr int kResponseChunkSize = 4096;
// A head that has not ended after this many received bytes is given up.
constexpr size_t kMaxResponseHeadBytes = 64 * 1024;

// Lower-cases the single-byte letters of the ANSI code page; double-byte characters stay.
std::string LowerAnsi(const std::string& text);

// The three-digit status of "HTTP/x.y NNN reason" (100 to 999); 0 when the line is no status line.
int HttpStatusCode(const std::string& statusLine);

// Takes the whole lines of received from scan on: the line at offset 0 is the status line, the
// others header lines. Returns the offset after the empty line that ends the head, or npos while
// the head goes on; scan is left after the last whole line, so the next call goes on from there.
size_t ParseHeadLines(const std::string& received, size_t& scan, std::string& statusLine, HttpHeaderMap& headers);

// Receives until the empty line that ends the head: 1 when it came; 0 when the connection
// failed, closed or timed out first, or 64 KiB arrived without it. statusLine takes the first
// line, headers gain the header lines parsed so far (it is not cleared). Never sends.
int ReadResponseHead(TcpConnection& connection, std::string& statusLine, HttpHeaderMap& headers);

}  // namespace ombrel
