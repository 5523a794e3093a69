#include "standin/wmvcore/ChunkFraming.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace wmstandin {
namespace {

void ChunkHead(char type, DWORD location, BYTE flags, size_t payload, BYTE (&head)[kChunkHeadSize]) noexcept {
    const WORD length = static_cast<WORD>(payload + 8);
    const BYTE bytes[kChunkHeadSize] = {'$', static_cast<BYTE>(type), static_cast<BYTE>(length),
                                        static_cast<BYTE>(length >> 8), static_cast<BYTE>(location),
                                        static_cast<BYTE>(location >> 8), static_cast<BYTE>(location >> 16),
                                        static_cast<BYTE>(location >> 24), 0, flags, static_cast<BYTE>(length),
                                        static_cast<BYTE>(length >> 8)};
    std::copy(bytes, bytes + kChunkHeadSize, head);
}

}  // namespace

void AppendErrorResponse(std::vector<BYTE>* out, int code, const char* reason) {
    char text[kMaxErrorResponse + 1];
    std::snprintf(text, sizeof text,
                  "HTTP/1.0 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %u\r\nConnection: close\r\n\r\n%s\r\n",
                  code, reason, static_cast<unsigned>(std::strlen(reason) + 2), reason);
    AppendText(out, text);
}

void AppendReferenceResponse(std::vector<BYTE>* out, const std::string& url) {
    const std::string body = "[Reference]\r\nRef1=" + url + "\r\n";
    AppendText(out, "HTTP/1.0 200 OK\r\nContent-Type: video/x-ms-asf\r\nServer: Ombrel-wmvcore\r\n");
    AppendText(out, ("Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n").c_str());
    AppendText(out, body.c_str());
}

void AppendText(std::vector<BYTE>* out, const char* text) { out->insert(out->end(), text, text + std::strlen(text)); }

void AppendHeaderChunk(std::vector<BYTE>* out, const std::vector<BYTE>& header) {
    BYTE head[kChunkHeadSize];
    ChunkHead('H', 0, 0x0C, header.size(), head);
    out->insert(out->end(), head, head + kChunkHeadSize);
    out->insert(out->end(), header.begin(), header.end());
}

bool AppendDataChunk(ByteRing* ring, DWORD location, const BYTE* data, size_t size) noexcept {
    if (ring->Free() < kChunkHeadSize + size) return false;
    BYTE head[kChunkHeadSize];
    ChunkHead('D', location, 0, size, head);
    return ring->Append(head, kChunkHeadSize) && ring->Append(data, size);
}

}  // namespace wmstandin
