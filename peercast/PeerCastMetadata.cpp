#include "peercast/PeerCastMetadata.h"

#include <windows.h>

#include "peercast/ResponseHead.h"
#include "peercast/TcpConnection.h"
#include "peercast/UrlEncode.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

// Bounds the whole reply as well as each wait: a node that sends a byte every few seconds and
// never ends its head would otherwise hold the song worker for hours (64 KiB of such waits).
class ReplyConnection : public TcpConnection {
public:
    void StartReplyClock() noexcept { replyStart_ = ::GetTickCount(); }

    int Receive(char* buffer, int size) noexcept override {
        const DWORD limitMs = kPeerCastTimeoutSeconds * 1000;
        const DWORD elapsedMs = ::GetTickCount() - replyStart_;
        if (elapsedMs >= limitMs) return kSocketTimedOut;
        const DWORD leftMs = limitMs - elapsedMs;
        timeout.tv_sec = static_cast<long>(leftMs / 1000);
        timeout.tv_usec = static_cast<long>(leftMs % 1000) * 1000;
        return TcpConnection::Receive(buffer, size);
    }

private:
    DWORD replyStart_ = 0;
};

}  // namespace

std::string ComposePeerCastRequest(const char* channel, const char* artist, const char* title,
                                   const char* album) {
    std::string request = "GET /admin?cmd=setmeta&name=";
    request += UrlEncodeUtf8(channel);
    if (artist) {
        request += "&t_artist=";
        request += UrlEncode(artist);
    }
    if (title) {
        request += "&t_title=";
        request += UrlEncode(title);
    }
    if (album) {
        request += "&t_album=";
        request += UrlEncode(album);
    }
    request += " HTTP/1.0\r\n";
    request += "\r\n";
    return request;
}

int UpdatePeerCastMetadata(const char* host, int port, const char* channel, const char* artist,
                           const char* title, const char* album) {
    return win::Firewall(0, [&] {
        ReplyConnection connection;
        connection.timeout.tv_sec = kPeerCastTimeoutSeconds;
        connection.timeout.tv_usec = 0;
        connection.useTimeout = 1;

        if (connection.Connect(host, port) != 0) return 0;

        const std::string request = ComposePeerCastRequest(channel, artist, title, album);
        if (connection.SendStringAll(request.c_str()) <= 0) return 0;

        std::string statusLine;
        HttpHeaderMap headers;
        connection.StartReplyClock();
        ReadResponseHead(connection, statusLine, headers);

        connection.Close();
        return 1;
    });
}

}  // namespace ombrel
