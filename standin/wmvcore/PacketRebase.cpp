#include "standin/wmvcore/PacketRebase.h"

#include <cstring>

#include "standin/wmvcore/PacketLayout.h"

namespace wmstandin {
namespace {

void Subtract(BYTE* at, size_t bytes, DWORD base) noexcept {
    const uint32_t value = ReadLittleEndian(at, bytes);
    WriteLittleEndian(at, value > base ? value - base : 0, bytes);
}

}  // namespace

DWORD PacketSendTime(const BYTE* packet, size_t size) noexcept {
    PacketLayout layout;
    if (!ReadPacketLayout(packet, size, &layout)) return 0;
    return ReadLittleEndian(packet + layout.sendTimeAt, 4);
}

size_t RebasePacket(const BYTE* packet, size_t size, DWORD base, BYTE* out, size_t room) noexcept {
    if (!packet || size == 0 || room < size) return 0;
    std::memcpy(out, packet, size);
    PacketLayout layout;
    if (base == 0 || !ReadPacketLayout(packet, size, &layout)) return size;
    Subtract(out + layout.sendTimeAt, 4, base);
    for (uint32_t i = 0; i < layout.count; ++i) {
        const PayloadLayout& p = layout.payloads[i];
        if (p.timeAt) {
            Subtract(out + p.timeAt, 4, base);
        } else if (p.replicated == 1 && p.offsetBytes == 4) {
            // A compressed payload's offset field is its presentation time.
            Subtract(out + p.offsetAt, 4, base);
        }
    }
    return size;
}

}  // namespace wmstandin
