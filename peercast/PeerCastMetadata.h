// The one PeerCast admin request: set a channel's track artist, title and album.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace ombrel {

// The node runs on this machine; it is reached without name resolution.
constexpr const char kPeerCastHost[] = "127.0.0.1";

// The whole update (connecting, sending the request and reading the node's answer) ends within
// this many seconds.
constexpr long kPeerCastTimeoutSeconds = 5;

// The channel, artist, title and album are each cut to this many bytes of the system code page
// before they are encoded, never inside a character. It is the longest tag the player hands
// over, so only templates that repeat tags are cut. With every byte escaped (the
// channel's through UTF-8, three bytes at most each) a request stays under 19 KiB; uncut, 64 KiB
// templates could make it 0.6 MiB.
constexpr size_t kMaxPeerCastValueBytes = 1023;

// The longest start of text within kMaxPeerCastValueBytes that ends after a whole character of
// the system code page; the empty text for null.
std::string CutPeerCastValue(const char* text);

// UTF-16 text for the JSON-RPC interface: cut where CutPeerCastValue would cut what the system
// code page makes of it, then as UTF-8.
std::string PeerCastUtf8Value(const std::wstring& text);

// The request text: GET /admin?cmd=setmeta&name=<channel as UTF-8>[&t_artist=..][&t_title=..]
// [&t_album=..] HTTP/1.0, CR LF, CR LF. A null artist, title or album leaves its parameter
// out; an empty one sends the name with an empty value. Track texts are encoded in the ANSI
// code page as they are.
std::string ComposePeerCastRequest(const char* channel, const char* artist, const char* title,
                                   const char* album);

// What ExchangeSetMeta gives as the status when no connection could be made.
constexpr int kNodeUnreachable = -1;

// One setmeta exchange inside a longer update whose kPeerCastTimeoutSeconds started at startMs
// (a GetTickCount value). 1 when the whole request was sent, 0 otherwise; *status (when given)
// takes the answer's HTTP status, 0 when none came, kNodeUnreachable when the connection failed.
int ExchangeSetMeta(const char* host, int port, const char* channel, const char* artist, const char* title,
                    const char* album, DWORD startMs, const std::atomic<LONG>* cancel, int* status);

// Connects to host:port, sends the request, reads the head of the answer and closes, all
// within kPeerCastTimeoutSeconds. 1 when the whole request was sent, 0 when the connection
// failed or the send did not complete; the answer itself is never looked at. Once another
// thread sets *cancel (when given), the update ends within a few milliseconds.
int UpdatePeerCastMetadata(const char* host, int port, const char* channel, const char* artist,
                           const char* title, const char* album,
                           const std::atomic<LONG>* cancel = nullptr);

}  // namespace ombrel
