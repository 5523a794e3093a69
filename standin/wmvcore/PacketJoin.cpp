#include "standin/wmvcore/PacketJoin.h"

#include <cstdint>
#include <cstring>

namespace wmstandin {
namespace {

constexpr size_t kFieldSizes[4] = {0, 1, 2, 4};  // by a two-bit length type

// Reads the little-endian fields of one packet, failing once past its end.
class Reader {
public:
    Reader(const BYTE* data, size_t size) : start_(data), at_(data), end_(data + size) {}

    bool Field(unsigned type, uint32_t* value) { return Bytes(kFieldSizes[type & 3], value); }
    bool Bytes(size_t n, uint32_t* value) {
        if (Left() < n) return false;
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(at_[i]) << (8 * i);
        at_ += n;
        if (value) *value = v;
        return true;
    }
    bool Skip(size_t n) {
        if (Left() < n) return false;
        at_ += n;
        return true;
    }
    size_t Left() const { return static_cast<size_t>(end_ - at_); }
    size_t Offset() const { return static_cast<size_t>(at_ - start_); }

private:
    const BYTE* start_;
    const BYTE* at_;
    const BYTE* end_;
};

struct Payload {
    uint32_t stream;
    uint32_t object;
    size_t begin;  // offsets in the packet
    size_t end;
    bool continues;  // the rest of an object begun in an earlier packet
};

void Store(BYTE* at, uint32_t value, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}

size_t Unchanged(const BYTE* packet, size_t size, BYTE* out, size_t room) {
    if (room < size) return 0;
    std::memcpy(out, packet, size);
    return size;
}

}  // namespace

size_t JoinPacket(const BYTE* packet, size_t size, BYTE* out, size_t room) noexcept {
    if (!packet || size == 0) return 0;
    Reader r(packet, size);
    uint32_t first = 0;
    if (!r.Bytes(1, &first)) return Unchanged(packet, size, out, room);
    // Error correction data: present when the first byte's top bit is set, its length in the
    // low four bits; the payload parsing information follows it.
    uint32_t lengthFlags = first;
    if ((first & 0x80) && (!r.Skip(first & 0x0F) || !r.Bytes(1, &lengthFlags)))
        return Unchanged(packet, size, out, room);
    uint32_t propertyFlags = 0, padding = 0;
    if (!r.Bytes(1, &propertyFlags) || !r.Field(lengthFlags >> 5, nullptr) || !r.Field(lengthFlags >> 1, nullptr))
        return Unchanged(packet, size, out, room);
    const size_t paddingAt = r.Offset();
    const size_t paddingBytes = kFieldSizes[(lengthFlags >> 3) & 3];
    if (!r.Field(lengthFlags >> 3, &padding) || !r.Skip(6)) return Unchanged(packet, size, out, room);
    const bool multiple = (lengthFlags & 1) != 0;
    const size_t countAt = r.Offset();
    uint32_t payloadFlags = 0x80 | 1;
    if (multiple && !r.Bytes(1, &payloadFlags)) return Unchanged(packet, size, out, room);
    const size_t payloadsAt = r.Offset();

    Payload payloads[64];
    const uint32_t count = payloadFlags & 0x3F;
    uint32_t continuing = 0;
    for (uint32_t i = 0; i < count; ++i) {
        Payload& p = payloads[i];
        p.begin = r.Offset();
        uint32_t offset = 0, replicated = 0, length = 0;
        if (!r.Bytes(1, &p.stream) || !r.Field(propertyFlags >> 4, &p.object) ||
            !r.Field(propertyFlags >> 2, &offset) || !r.Field(propertyFlags, &replicated) || !r.Skip(replicated))
            return Unchanged(packet, size, out, room);
        if (multiple) {
            if (!r.Field(payloadFlags >> 6, &length)) return Unchanged(packet, size, out, room);
        } else {
            length = r.Left() >= padding ? static_cast<uint32_t>(r.Left() - padding) : 0;
        }
        if (!r.Skip(length)) return Unchanged(packet, size, out, room);
        p.end = r.Offset();
        p.stream &= 0x7F;
        // A replicated data length of 1 marks compressed payloads: whole objects, their
        // offset field a time.
        p.continues = replicated != 1 && offset > 0;
        for (uint32_t j = 0; j < i && p.continues; ++j)
            p.continues = !(payloads[j].stream == p.stream && payloads[j].object == p.object);
        continuing += p.continues ? 1 : 0;
    }
    if (continuing == 0) return Unchanged(packet, size, out, room);
    if (!multiple || continuing == count || paddingBytes == 0 || room < size) return 0;

    size_t removed = 0;
    for (uint32_t i = 0; i < count; ++i) removed += payloads[i].continues ? payloads[i].end - payloads[i].begin : 0;
    const uint64_t grown = static_cast<uint64_t>(padding) + removed;
    if (paddingBytes < 4 && grown >> (8 * paddingBytes)) return 0;

    std::memcpy(out, packet, payloadsAt);
    size_t at = payloadsAt;
    for (uint32_t i = 0; i < count; ++i) {
        if (payloads[i].continues) continue;
        std::memcpy(out + at, packet + payloads[i].begin, payloads[i].end - payloads[i].begin);
        at += payloads[i].end - payloads[i].begin;
    }
    // What followed the payloads (the padding) and the room freed: zeros, as padding is.
    std::memset(out + at, 0, size - at);
    Store(out + paddingAt, static_cast<uint32_t>(grown), paddingBytes);
    out[countAt] = static_cast<BYTE>((payloadFlags & 0xC0) | (count - continuing));
    return size;
}

}  // namespace wmstandin
