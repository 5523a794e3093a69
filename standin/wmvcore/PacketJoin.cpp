#include "standin/wmvcore/PacketJoin.h"

#include <cstdint>
#include <cstring>

#include "standin/wmvcore/PacketLayout.h"

namespace wmstandin {
namespace {

size_t Unchanged(const BYTE* packet, size_t size, BYTE* out, size_t room) {
    if (room < size) return 0;
    std::memcpy(out, packet, size);
    return size;
}

}  // namespace

size_t JoinPacket(const BYTE* packet, size_t size, BYTE* out, size_t room) noexcept {
    if (!packet || size == 0) return 0;
    PacketLayout layout;
    if (!ReadPacketLayout(packet, size, &layout)) return Unchanged(packet, size, out, room);

    bool continues[PacketLayout::kMaxPayloads] = {};
    uint32_t continuing = 0;
    for (uint32_t i = 0; i < layout.count; ++i) {
        const PayloadLayout& p = layout.payloads[i];
        // A replicated data length of 1 marks compressed payloads: whole objects, their
        // offset field a time.
        continues[i] = p.replicated != 1 && p.offset > 0;
        for (uint32_t j = 0; j < i && continues[i]; ++j)
            continues[i] = !(layout.payloads[j].stream == p.stream && layout.payloads[j].object == p.object);
        continuing += continues[i] ? 1 : 0;
    }
    if (continuing == 0) return Unchanged(packet, size, out, room);
    if (!layout.multiple || continuing == layout.count || layout.paddingBytes == 0 || room < size) return 0;

    size_t removed = 0;
    for (uint32_t i = 0; i < layout.count; ++i)
        removed += continues[i] ? layout.payloads[i].end - layout.payloads[i].begin : 0;
    const uint64_t grown = static_cast<uint64_t>(layout.padding) + removed;
    if (layout.paddingBytes < 4 && grown >> (8 * layout.paddingBytes)) return 0;

    std::memcpy(out, packet, layout.payloadsAt);
    size_t at = layout.payloadsAt;
    for (uint32_t i = 0; i < layout.count; ++i) {
        if (continues[i]) continue;
        const PayloadLayout& p = layout.payloads[i];
        std::memcpy(out + at, packet + p.begin, p.end - p.begin);
        at += p.end - p.begin;
    }
    // What followed the payloads (the padding) and the room freed: zeros, as padding is.
    std::memset(out + at, 0, size - at);
    WriteLittleEndian(out + layout.paddingAt, static_cast<uint32_t>(grown), layout.paddingBytes);
    out[layout.countAt] = static_cast<BYTE>((layout.payloadFlags & 0xC0) | (layout.count - continuing));
    return size;
}

}  // namespace wmstandin
