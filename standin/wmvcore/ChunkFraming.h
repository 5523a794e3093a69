// The network sink's stream in the Windows Media framing ($H header, $D data and $E end
// chunks) and the HTTP answers that come before it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "standin/wmvcore/ByteRing.h"

namespace wmstandin {

// Type, length (payload + 8), location, incarnation, flags, length again.
constexpr size_t kChunkHeadSize = 12;
// The end chunk has a four-byte framing: its length counts the four-byte reason only.
constexpr BYTE kEndChunk[8] = {'$', 'E', 4, 0, 0, 0, 0, 0};

// The answer to a play or describe request, before the header chunk.
inline constexpr char kStreamingResponse[] =
    "HTTP/1.0 200 OK\r\n"
    "Content-Type: application/x-mms-framed\r\n"
    "Server: Ombrel-wmvcore\r\n"
    "Pragma: no-cache\r\n"
    "Cache-Control: no-cache\r\n"
    "Pragma: features=\"broadcast\"\r\n"
    "Connection: close\r\n"
    "\r\n";

// The longest refusal AppendErrorResponse writes: the room a connection keeps for one, so
// that a refusal made under the connection table's lock allocates nothing.
constexpr size_t kMaxErrorResponse = 255;
void AppendErrorResponse(std::vector<BYTE>* out, int code, const char* reason);

// The answer to a client that is not a Windows Media player, as a Windows Media server gives
// it: a reference file naming the stream's address, which the player opens again as a stream.
void AppendReferenceResponse(std::vector<BYTE>* out, const std::string& url);

void AppendText(std::vector<BYTE>* out, const char* text);
void AppendHeaderChunk(std::vector<BYTE>* out, const std::vector<BYTE>& header);
// The whole chunk, or nothing when it does not fit.
bool AppendDataChunk(ByteRing* ring, DWORD location, const BYTE* data, size_t size) noexcept;

}  // namespace wmstandin
