// The one PeerCast admin request: set a channel's track artist, title and album.
#pragma once

#include <string>

namespace ombrel {

// The node runs on this machine; it is reached without name resolution.
constexpr const char kPeerCastHost[] = "127.0.0.1";

// Each wait for the node (connect, writable, readable) is bounded by this many seconds, and so
// is the whole wait for its answer.
constexpr long kPeerCastTimeoutSeconds = 5;

// The request text: GET /admin?cmd=setmeta&name=<channel as UTF-8>[&t_artist=..][&t_title=..]
// [&t_album=..] HTTP/1.0, CR LF, CR LF. A null artist, title or album leaves its parameter
// out; an empty one sends the name with an empty value. Track texts are encoded in the ANSI
// code page as they are.
std::string ComposePeerCastRequest(const char* channel, const char* artist, const char* title,
                                   const char* album);

// Connects to host:port, sends the request, reads the head of the answer and closes.
// 1 when the whole request was sent, 0 when the connection failed or the send did not
// complete; the answer itself is never looked at.
int UpdatePeerCastMetadata(const char* host, int port, const char* channel, const char* artist,
                           const char* title, const char* album);

}  // namespace ombrel
