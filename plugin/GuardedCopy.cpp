#include "plugin/GuardedCopy.h"

#include <cstring>

namespace ombrel {
namespace {

constexpr size_t kChunk = 256;

// A read that must not cross into the next page: the text may end just before memory that
// cannot be read, and a read spanning it would fail as a whole.
size_t BytesToPageEnd(const char* at) {
    static const DWORD pageSize = [] {
        SYSTEM_INFO info{};
        ::GetSystemInfo(&info);
        return info.dwPageSize ? info.dwPageSize : 4096;
    }();
    const UINT_PTR address = reinterpret_cast<UINT_PTR>(at);
    return pageSize - (address % pageSize);
}

}  // namespace

bool CopyStringGuarded(const char* from, std::string* to, size_t limit) {
    if (!to) return false;
    to->clear();
    if (!from || limit == 0) return false;
    char chunk[kChunk];
    size_t total = 0;
    while (total < limit) {
        const char* at = from + total;
        size_t want = BytesToPageEnd(at);
        if (want > kChunk) want = kChunk;
        if (want > limit - total) want = limit - total;
        SIZE_T read = 0;
        if (!::ReadProcessMemory(::GetCurrentProcess(), at, chunk, want, &read) || read != want) {
            to->clear();
            return false;
        }
        const void* end = std::memchr(chunk, '\0', want);
        if (end) {
            to->append(chunk, static_cast<const char*>(end) - chunk);
            return true;
        }
        to->append(chunk, want);
        total += want;
    }
    to->clear();
    return false;
}

}  // namespace ombrel
