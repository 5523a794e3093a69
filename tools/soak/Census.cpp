#include "tools/soak/Census.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>

#include "win/GdiWrappers.h"
#include "win/UniqueAny.h"
#include "win/UniqueSocket.h"
#include "win/WindowTimer.h"

namespace ombrel::test::soak {
namespace {

int CountThreads() {
    win::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL ok = ::Thread32First(snapshot.get(), &entry); ok; ok = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    return count;
}

SIZE_T CommittedPrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const BYTE* at = nullptr; ::VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

}  // namespace

Census TakeCensus() {
    Census census;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                               sizeof memory)) {
        census.privateUsage = memory.PrivateUsage;
        census.workingSet = memory.WorkingSetSize;
    }
    census.privateBytes = CommittedPrivateBytes();
    // The snapshot's own handle is counted while it is open, and closed before the counts.
    census.threads = CountThreads();
    census.live = {
        {"UniqueHandle", win::UniqueHandle::LiveCount()},
        {"UniqueThread", win::UniqueThread::LiveCount()},
        {"UniqueEvent", win::UniqueEvent::LiveCount()},
        {"UniqueFile", win::UniqueFile::LiveCount()},
        {"UniqueFind", win::UniqueFind::LiveCount()},
        {"UniqueHook", win::UniqueHook::LiveCount()},
        {"UniqueModule", win::UniqueModule::LiveCount()},
        {"UniqueWindow", win::UniqueWindow::LiveCount()},
        {"UniqueGdiObject", win::UniqueGdiObject::LiveCount()},
        {"UniqueThreadTimer", win::UniqueThreadTimer::LiveCount()},
        {"UniqueMemoryDc", win::UniqueMemoryDc::LiveCount()},
        {"UniqueImageList", win::UniqueImageList::LiveCount()},
        {"WindowDc", win::WindowDc::LiveCount()},
        {"WindowTimer", win::WindowTimer::LiveCount()},
        {"UniqueSocket", win::UniqueSocket::LiveCount()},
    };
    return census;
}

Census TakeSettledCensus() {
    Census census = TakeCensus();
    for (int sample = 0; sample < 10; ++sample) {
        ::Sleep(10);
        const Census again = TakeCensus();
        for (size_t i = 0; i < census.live.size() && i < again.live.size(); ++i)
            census.live[i].count = std::min(census.live[i].count, again.live[i].count);
    }
    return census;
}

std::vector<std::string> LiveDifferences(const Census& from, const Census& to) {
    std::vector<std::string> differences;
    for (size_t i = 0; i < from.live.size() && i < to.live.size(); ++i) {
        if (from.live[i].count != to.live[i].count)
            differences.push_back(std::string(from.live[i].name) + " " + std::to_string(from.live[i].count) + " -> " +
                                  std::to_string(to.live[i].count));
    }
    return differences;
}

}  // namespace ombrel::test::soak
