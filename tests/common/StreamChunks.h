// The framing of a Windows Media HTTP stream as a listener reads it: the response head, then
// chunks of '$', a type, a 16-bit little-endian length and that many bytes; header and data
// chunks begin with a location, a flags byte and the length again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ombrel::test {

struct Chunk {
    char type;
    uint16_t length;
    std::string payload;
    uint32_t location;
    uint8_t flags;
    uint16_t lengthAgain;
};

// Splits what followed the response head into chunks; false if the framing is broken. A chunk
// not yet complete at the end is left out when allowPartialTail holds, and breaks it otherwise.
bool SplitChunks(const std::string& body, std::vector<Chunk>* chunks, bool allowPartialTail);
// The complete data chunks ("$D") of body; -1 when the framing is broken.
int CountDataChunks(const std::string& body);

// The response head with its empty line, and what follows it (nothing while the head is incomplete).
inline std::string HeadOf(const std::string& response) { return response.substr(0, response.find("\r\n\r\n") + 4); }
inline std::string BodyOf(const std::string& response) {
    const size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

}  // namespace ombrel::test
