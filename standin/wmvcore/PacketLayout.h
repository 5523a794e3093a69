// Where the fields of one ASF data packet lie: the packet's parsing information (padding length,
// send time), its payloads and, in each, the presentation time. Read by the network sink, which
// passes the writer's packets on to listeners and adjusts a few of their fields per listener.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace wmstandin {

struct PayloadLayout {
    uint32_t stream = 0;      // the stream number, without the key-frame bit
    uint32_t object = 0;      // media object number
    uint32_t offset = 0;      // offset into the media object, or, compressed, the presentation time
    uint32_t replicated = 0;  // replicated data length: 1 marks compressed payloads
    size_t begin = 0;         // offsets in the packet: the payload's first byte and the one after it
    size_t end = 0;
    size_t offsetAt = 0;      // the offset field and its size in bytes
    size_t offsetBytes = 0;
    size_t timeAt = 0;        // the presentation time in the replicated data (0: none there)
};

struct PacketLayout {
    static constexpr uint32_t kMaxPayloads = 64;
    size_t paddingAt = 0;     // the padding length field and its size (0: no such field)
    size_t paddingBytes = 0;
    uint32_t padding = 0;
    size_t sendTimeAt = 0;    // the send time (4 bytes, ms) and the duration (2) after it
    bool multiple = false;    // several payloads, with a payload flags byte
    size_t countAt = 0;       // the payload flags byte, with multiple payloads
    uint32_t payloadFlags = 0;
    size_t payloadsAt = 0;
    uint32_t count = 0;
    PayloadLayout payloads[kMaxPayloads];
};

// Reads the layout of `size` bytes as one data packet; false when they cannot be one.
bool ReadPacketLayout(const BYTE* packet, size_t size, PacketLayout* layout) noexcept;

uint32_t ReadLittleEndian(const BYTE* at, size_t bytes) noexcept;
void WriteLittleEndian(BYTE* at, uint32_t value, size_t bytes) noexcept;

}  // namespace wmstandin
