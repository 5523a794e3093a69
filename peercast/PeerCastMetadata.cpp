#include "peercast/PeerCastMetadata.h"

#include <cstring>

#include "peercast/BoundedConnection.h"
#include "peercast/ResponseHead.h"
#include "peercast/UrlEncode.h"
#include "text/CodePageChars.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

void AppendValue(std::string& request, const char* name, const char* text) {
    if (!text) return;
    request += name;
    request += UrlEncode(CutPeerCastValue(text).c_str());
}

}  // namespace

std::string CutPeerCastValue(const char* text) {
    if (!text) return std::string();
    const size_t length = std::strlen(text);
    return std::string(text, WholeCharPrefix(::GetACP(), text, length, kMaxPeerCastValueBytes));
}

std::string PeerCastUtf8Value(const std::wstring& text) {
    const size_t units = WideCharPrefix(::GetACP(), text.data(), text.size(), kMaxPeerCastValueBytes);
    return WideToUtf8(text.data(), units);
}

std::string ComposePeerCastRequest(const char* channel, const char* artist, const char* title,
                                   const char* album) {
    std::string request = "GET /admin?cmd=setmeta&name=";
    request += UrlEncodeUtf8(CutPeerCastValue(channel).c_str());
    AppendValue(request, "&t_artist=", artist);
    AppendValue(request, "&t_title=", title);
    AppendValue(request, "&t_album=", album);
    request += " HTTP/1.0\r\n";
    request += "\r\n";
    return request;
}

int ExchangeSetMeta(const char* host, int port, const char* channel, const char* artist, const char* title,
                    const char* album, DWORD startMs, const std::atomic<LONG>* cancel, int* status) {
    return win::Firewall(0, [&] {
        if (status) *status = 0;
        BoundedConnection connection(startMs, kPeerCastTimeoutSeconds * 1000, cancel);
        if (connection.Cancelled()) return 0;
        if (connection.Connect(host, port) != 0) {
            if (status) *status = kNodeUnreachable;
            return 0;
        }

        const std::string request = ComposePeerCastRequest(channel, artist, title, album);
        if (connection.SendStringAll(request.c_str()) <= 0) return 0;

        std::string statusLine;
        HttpHeaderMap headers;
        ReadResponseHead(connection, statusLine, headers);
        if (status) *status = HttpStatusCode(statusLine);

        connection.Close();
        return 1;
    });
}

int UpdatePeerCastMetadata(const char* host, int port, const char* channel, const char* artist,
                           const char* title, const char* album, const std::atomic<LONG>* cancel) {
    return ExchangeSetMeta(host, port, channel, artist, title, album, ::GetTickCount(), cancel, nullptr);
}

}  // namespace ombrel
