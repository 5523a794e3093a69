// A reader of what the multiplexer writes, for the tests: the header's objects by identifier
// (header extension contents included) and the payloads of fixed-size data packets.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "standin/wmvcore/AsfBytes.h"

namespace ombrel::test {

namespace asf = wmstandin::asf;

struct AsfObject {
    GUID id{};
    std::vector<BYTE> body;  // after the 24-byte GUID and size
};

struct ParsedHeader {
    bool ok = false;
    std::string error;
    uint32_t declaredCount = 0;
    std::vector<AsfObject> objects;    // top level, in order
    std::vector<AsfObject> extension;  // inside the header extension
    std::vector<BYTE> dataHead;        // the 50 bytes after the header object
};

inline ParsedHeader ParseHeader(const std::vector<BYTE>& h) {
    ParsedHeader out;
    if (h.size() < 30) { out.error = "short"; return out; }
    if (!(asf::ReadGuid(h.data()) == asf::kHeaderObject)) { out.error = "no header object"; return out; }
    const uint64_t size = asf::ReadU64(&h[16]);
    if (size + asf::kDataObjectHeadSize != h.size()) { out.error = "header size"; return out; }
    out.declaredCount = asf::ReadU32(&h[24]);
    if (h[28] != 1 || h[29] != 2) { out.error = "reserved bytes"; return out; }
    size_t at = 30;
    while (at < size) {
        if (at + 24 > size) { out.error = "truncated object"; return out; }
        const uint64_t n = asf::ReadU64(&h[at + 16]);
        if (n < 24 || at + n > size) { out.error = "object size"; return out; }
        AsfObject o{asf::ReadGuid(&h[at]), std::vector<BYTE>(h.begin() + at + 24, h.begin() + at + n)};
        if (o.id == asf::kHeaderExtensionObject) {
            const uint32_t dataSize = asf::ReadU32(&o.body[18]);
            if (dataSize + 22 != o.body.size()) { out.error = "extension size"; return out; }
            size_t e = 22;
            while (e < o.body.size()) {
                const uint64_t m = asf::ReadU64(&o.body[e + 16]);
                if (m < 24 || e + m > o.body.size()) { out.error = "extension object size"; return out; }
                out.extension.push_back({asf::ReadGuid(&o.body[e]),
                                         std::vector<BYTE>(o.body.begin() + e + 24, o.body.begin() + e + m)});
                e += m;
            }
        }
        out.objects.push_back(std::move(o));
        at += n;
    }
    out.dataHead.assign(h.begin() + size, h.end());
    out.ok = true;
    return out;
}

inline std::vector<const AsfObject*> Find(const std::vector<AsfObject>& objects, const GUID& id) {
    std::vector<const AsfObject*> found;
    for (const auto& o : objects) {
        if (o.id == id) found.push_back(&o);
    }
    return found;
}

struct Payload {
    BYTE stream = 0;
    bool key = false;
    BYTE objectNumber = 0;
    uint32_t offset = 0;
    uint32_t objectSize = 0;
    uint32_t time = 0;
    std::vector<BYTE> data;
};

struct ParsedPacket {
    bool ok = false;
    std::string error;
    uint16_t padding = 0;
    uint32_t sendTime = 0;
    uint16_t duration = 0;
    std::vector<Payload> payloads;
};

// Reads the layout the multiplexer promises: error correction 0x82 0 0, multiple payloads,
// WORD padding, BYTE/DWORD/BYTE/BYTE properties, WORD payload lengths.
inline ParsedPacket ParsePacket(const std::vector<BYTE>& p) {
    ParsedPacket out;
    if (p.size() < 14) { out.error = "short"; return out; }
    if (p[0] != 0x82 || p[1] != 0 || p[2] != 0) { out.error = "error correction"; return out; }
    if (p[3] != 0x11 || p[4] != 0x5D) { out.error = "flags"; return out; }
    out.padding = asf::ReadU16(&p[5]);
    out.sendTime = asf::ReadU32(&p[7]);
    out.duration = asf::ReadU16(&p[11]);
    if ((p[13] & 0xC0) != 0x80) { out.error = "payload length type"; return out; }
    const int count = p[13] & 0x3F;
    size_t at = 14;
    for (int i = 0; i < count; ++i) {
        if (at + 17 > p.size()) { out.error = "payload head"; return out; }
        Payload pl;
        pl.stream = p[at] & 0x7F;
        pl.key = (p[at] & 0x80) != 0;
        pl.objectNumber = p[at + 1];
        pl.offset = asf::ReadU32(&p[at + 2]);
        if (p[at + 6] != 8) { out.error = "replicated length"; return out; }
        pl.objectSize = asf::ReadU32(&p[at + 7]);
        pl.time = asf::ReadU32(&p[at + 11]);
        const uint16_t n = asf::ReadU16(&p[at + 15]);
        at += 17;
        if (at + n > p.size()) { out.error = "payload data"; return out; }
        pl.data.assign(p.begin() + at, p.begin() + at + n);
        at += n;
        out.payloads.push_back(std::move(pl));
    }
    if (at + out.padding != p.size()) { out.error = "padding does not fill the packet"; return out; }
    for (size_t i = at; i < p.size(); ++i) {
        if (p[i] != 0) { out.error = "padding not zero"; return out; }
    }
    out.ok = true;
    return out;
}

inline std::wstring Utf16At(const BYTE* p, size_t bytes) {
    std::wstring s;
    for (size_t i = 0; i + 1 < bytes; i += 2) s.push_back(static_cast<wchar_t>(asf::ReadU16(p + i)));
    while (!s.empty() && s.back() == L'\0') s.pop_back();
    return s;
}

}  // namespace ombrel::test
