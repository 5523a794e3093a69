// Little-endian byte building and reading for ASF objects, and the ASF object identifiers the
// stand-in writes. Everything in ASF is little-endian; a GUID is stored as its in-memory layout
// on x86 (Data1, Data2, Data3 little-endian, then the eight bytes of Data4).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace wmstandin::asf {

// Object and type identifiers of the Advanced Systems Format.
inline constexpr GUID kHeaderObject = {0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
inline constexpr GUID kDataObject = {0x75B22636, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
inline constexpr GUID kFilePropertiesObject = {0x8CABDCA1, 0xA947, 0x11CF, {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
inline constexpr GUID kStreamPropertiesObject = {0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
inline constexpr GUID kHeaderExtensionObject = {0x5FBF03B5, 0xA92E, 0x11CF, {0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
inline constexpr GUID kReserved1 = {0xABD3D211, 0xA9BA, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
inline constexpr GUID kContentDescriptionObject = {0x75B22633, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
inline constexpr GUID kExtendedContentDescriptionObject = {0xD2D0A440, 0xE307, 0x11D2, {0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50}};
inline constexpr GUID kStreamBitratePropertiesObject = {0x7BF875CE, 0x468D, 0x11D1, {0x8D, 0x82, 0x00, 0x60, 0x97, 0xC9, 0xA2, 0xB2}};
inline constexpr GUID kLanguageListObject = {0x7C4346A9, 0xEFE0, 0x4BFC, {0xB2, 0x29, 0x39, 0x3E, 0xDE, 0x41, 0x5C, 0x85}};
inline constexpr GUID kExtendedStreamPropertiesObject = {0x14E6A5CB, 0xC672, 0x4332, {0x83, 0x99, 0xA9, 0x69, 0x52, 0x06, 0x5B, 0x5A}};
inline constexpr GUID kAudioMedia = {0xF8699E40, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
inline constexpr GUID kCommandMedia = {0x59DACFC0, 0x59E6, 0x11D0, {0xA3, 0xAC, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
inline constexpr GUID kNoErrorCorrection = {0x20FB5700, 0x5B55, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};

// Sizes of the fixed parts the sinks and tests rely on.
inline constexpr size_t kObjectHeadSize = 24;      // GUID + QWORD size
inline constexpr size_t kDataObjectHeadSize = 50;  // GUID, size, file id, packet count, reserved

// Appends little-endian fields to a byte vector; objects get their size patched at the end.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<BYTE>* out) : out_(out) {}

    void U8(uint8_t v) { out_->push_back(v); }
    void U16(uint16_t v) { Le(v, 2); }
    void U32(uint32_t v) { Le(v, 4); }
    void U64(uint64_t v) { Le(v, 8); }
    void Guid(const GUID& g) {
        const BYTE* p = reinterpret_cast<const BYTE*>(&g);
        out_->insert(out_->end(), p, p + sizeof g);
    }
    void Bytes(const void* data, size_t size) {
        const BYTE* p = static_cast<const BYTE*>(data);
        out_->insert(out_->end(), p, p + size);
    }
    // UTF-16 code units, no terminator.
    void Utf16(const std::wstring& s) {
        for (wchar_t c : s) U16(static_cast<uint16_t>(c));
    }
    size_t Size() const { return out_->size(); }

    // Starts an object: its GUID and a size field patched by EndObject.
    size_t BeginObject(const GUID& id) {
        const size_t start = out_->size();
        Guid(id);
        U64(0);
        return start;
    }
    void EndObject(size_t start) { PatchU64(start + 16, out_->size() - start); }

    void PatchU16(size_t at, uint16_t v) { Patch(at, v, 2); }
    void PatchU32(size_t at, uint32_t v) { Patch(at, v, 4); }
    void PatchU64(size_t at, uint64_t v) { Patch(at, v, 8); }

private:
    void Le(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out_->push_back(static_cast<BYTE>(v >> (8 * i)));
    }
    void Patch(size_t at, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) (*out_)[at + i] = static_cast<BYTE>(v >> (8 * i));
    }
    std::vector<BYTE>* out_;
};

inline uint16_t ReadU16(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadU32(const BYTE* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t ReadU64(const BYTE* p) {
    return static_cast<uint64_t>(ReadU32(p)) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32);
}
inline GUID ReadGuid(const BYTE* p) {
    GUID g;
    std::memcpy(&g, p, sizeof g);
    return g;
}

}  // namespace wmstandin::asf
