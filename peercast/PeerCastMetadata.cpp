#include "peercast/PeerCastMetadata.h"

#include <cstring>

#include "peercast/BoundedConnection.h"
#include "peercast/ResponseHead.h"
#include "peercast/UrlEncode.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

// The longest start of text within kMaxPeerCastValueBytes that does not end on a lead byte;
// the empty text for null.
std::string CutValue(const char* text) {
    if (!text) return std::string();
    const size_t length = std::strlen(text);
    if (length <= kMaxPeerCastValueBytes) return std::string(text, length);
    size_t end = 0;
    for (;;) {
        const size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(text[end])) ? 2 : 1;
        if (end + step > kMaxPeerCastValueBytes) break;
        end += step;
    }
    return std::string(text, end);
}

void AppendValue(std::string& request, const char* name, const char* text) {
    if (!text) return;
    request += name;
    request += UrlEncode(CutValue(text).c_str());
}

}  // namespace

std::string ComposePeerCastRequest(const char* channel, const char* artist, const char* title,
                                   const char* album) {
    std::string request = "GET /admin?cmd=setmeta&name=";
    request += UrlEncodeUtf8(CutValue(channel).c_str());
    AppendValue(request, "&t_artist=", artist);
    AppendValue(request, "&t_title=", title);
    AppendValue(request, "&t_album=", album);
    request += " HTTP/1.0\r\n";
    request += "\r\n";
    return request;
}

int UpdatePeerCastMetadata(const char* host, int port, const char* channel, const char* artist,
                           const char* title, const char* album, const std::atomic<LONG>* cancel) {
    return win::Firewall(0, [&] {
        BoundedConnection connection(kPeerCastTimeoutSeconds * 1000, cancel);
        if (connection.Cancelled()) return 0;
        if (connection.Connect(host, port) != 0) return 0;

        const std::string request = ComposePeerCastRequest(channel, artist, title, album);
        if (connection.SendStringAll(request.c_str()) <= 0) return 0;

        std::string statusLine;
        HttpHeaderMap headers;
        ReadResponseHead(connection, statusLine, headers);

        connection.Close();
        return 1;
    });
}

}  // namespace ombrel
