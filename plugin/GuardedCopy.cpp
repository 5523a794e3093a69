#include "plugin/GuardedCopy.h"

#include <cstring>

namespace ombrel {
namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// Bytes from at to the end of the readable region that holds it; 0 when at cannot be read.
size_t ReadableBytesFrom(const char* at) {
    MEMORY_BASIC_INFORMATION region{};
    if (::VirtualQuery(at, &region, sizeof region) != sizeof region) return 0;
    if (region.State != MEM_COMMIT) return 0;
    if ((region.Protect & kReadable) == 0 || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) return 0;
    const char* end = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    return end > at ? static_cast<size_t>(end - at) : 0;
}

}  // namespace

bool CopyStringGuarded(const char* from, std::string* to, size_t limit) {
    if (!to) return false;
    to->clear();
    if (!from || limit == 0) return false;
    size_t total = 0;
    while (total < limit) {
        const char* at = from + total;
        size_t readable = ReadableBytesFrom(at);
        if (readable == 0) break;
        if (readable > limit - total) readable = limit - total;
        const void* end = std::memchr(at, '\0', readable);
        if (end) {
            to->assign(from, static_cast<const char*>(end) - from);
            return true;
        }
        total += readable;
    }
    to->clear();
    return false;
}

bool CopyWideStringGuarded(const wchar_t* from, std::wstring* to, size_t limit) {
    if (!to) return false;
    to->clear();
    if (!from || limit == 0) return false;
    // The player's pointer need not be aligned, so the walk goes by bytes known readable.
    const char* base = reinterpret_cast<const char*>(from);
    const size_t byteLimit = limit * sizeof(wchar_t);
    size_t known = 0;
    size_t unit = 0;
    while (known < byteLimit) {
        const size_t readable = ReadableBytesFrom(base + known);
        if (readable == 0) break;
        known += readable < byteLimit - known ? readable : byteLimit - known;
        for (; (unit + 1) * sizeof(wchar_t) <= known; ++unit) {
            wchar_t c;
            std::memcpy(&c, base + unit * sizeof(wchar_t), sizeof c);
            if (c != L'\0') continue;
            to->resize(unit);
            if (unit) std::memcpy(&(*to)[0], base, unit * sizeof(wchar_t));
            return true;
        }
    }
    return false;
}

}  // namespace ombrel
