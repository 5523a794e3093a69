#include "tests/common/StreamChunks.h"

namespace ombrel::test {
namespace {

// Calls each(type, at, length) for every complete chunk of body, at its '$'; false if the framing
// is broken.
template <typename Each>
bool WalkChunks(const std::string& body, bool allowPartialTail, Each each) {
    size_t at = 0;
    while (at < body.size()) {
        if (body.size() - at < 4) return allowPartialTail;
        if (body[at] != '$') return false;
        const char type = body[at + 1];
        const uint16_t length =
            static_cast<uint16_t>(static_cast<BYTE>(body[at + 2]) | (static_cast<BYTE>(body[at + 3]) << 8));
        if (type != 'E' && length < 8) return false;
        if (body.size() - at < 4u + length) return allowPartialTail;
        each(type, at, length);
        at += 4 + length;
    }
    return true;
}

}  // namespace

bool SplitChunks(const std::string& body, std::vector<Chunk>* chunks, bool allowPartialTail) {
    return WalkChunks(body, allowPartialTail, [&](char type, size_t at, uint16_t length) {
        Chunk c{};
        c.type = type;
        c.length = length;
        if (type != 'E') {
            const BYTE* p = reinterpret_cast<const BYTE*>(body.data() + at + 4);
            c.location = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
            c.flags = p[5];
            c.lengthAgain = static_cast<uint16_t>(p[6] | (p[7] << 8));
            c.payload.assign(body, at + 12, length - 8u);
        }
        chunks->push_back(c);
    });
}

int CountDataChunks(const std::string& body) {
    int data = 0;
    const bool ok = WalkChunks(body, true, [&](char type, size_t, uint16_t) {
        if (type == 'D') ++data;
    });
    return ok ? data : -1;
}

}  // namespace ombrel::test
