#include "standin/wmvcore/PacketLayout.h"

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
        if (value) *value = ReadLittleEndian(at_, n);
        at_ += n;
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

}  // namespace

uint32_t ReadLittleEndian(const BYTE* at, size_t bytes) noexcept {
    uint32_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(at[i]) << (8 * i);
    return v;
}

void WriteLittleEndian(BYTE* at, uint32_t value, size_t bytes) noexcept {
    for (size_t i = 0; i < bytes; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}

bool ReadPacketLayout(const BYTE* packet, size_t size, PacketLayout* layout) noexcept {
    if (!packet || size == 0 || !layout) return false;
    PacketLayout& l = *layout;
    Reader r(packet, size);
    uint32_t first = 0;
    if (!r.Bytes(1, &first)) return false;
    // Error correction data: present when the first byte's top bit is set, its length in the
    // low four bits; the payload parsing information follows it.
    uint32_t lengthFlags = first;
    if ((first & 0x80) && (!r.Skip(first & 0x0F) || !r.Bytes(1, &lengthFlags))) return false;
    uint32_t propertyFlags = 0;
    if (!r.Bytes(1, &propertyFlags) || !r.Field(lengthFlags >> 5, nullptr) || !r.Field(lengthFlags >> 1, nullptr))
        return false;
    l.paddingAt = r.Offset();
    l.paddingBytes = kFieldSizes[(lengthFlags >> 3) & 3];
    if (!r.Field(lengthFlags >> 3, &l.padding)) return false;
    l.sendTimeAt = r.Offset();
    if (!r.Skip(6)) return false;
    l.multiple = (lengthFlags & 1) != 0;
    l.countAt = r.Offset();
    l.payloadFlags = 0x80 | 1;
    if (l.multiple && !r.Bytes(1, &l.payloadFlags)) return false;
    l.payloadsAt = r.Offset();

    l.count = l.payloadFlags & 0x3F;
    for (uint32_t i = 0; i < l.count; ++i) {
        PayloadLayout& p = l.payloads[i];
        p.begin = r.Offset();
        if (!r.Bytes(1, &p.stream) || !r.Field(propertyFlags >> 4, &p.object)) return false;
        p.offsetAt = r.Offset();
        p.offsetBytes = kFieldSizes[(propertyFlags >> 2) & 3];
        if (!r.Field(propertyFlags >> 2, &p.offset) || !r.Field(propertyFlags, &p.replicated)) return false;
        // Replicated data of eight bytes or more begins with the object's size and its
        // presentation time.
        p.timeAt = p.replicated >= 8 ? r.Offset() + 4 : 0;
        if (!r.Skip(p.replicated)) return false;
        uint32_t length = 0;
        if (l.multiple) {
            if (!r.Field(l.payloadFlags >> 6, &length)) return false;
        } else {
            length = r.Left() >= l.padding ? static_cast<uint32_t>(r.Left() - l.padding) : 0;
        }
        if (!r.Skip(length)) return false;
        p.end = r.Offset();
        p.stream &= 0x7F;
    }
    return true;
}

}  // namespace wmstandin
