// The threads of the test process, to tell that a stop left none behind.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include "win/UniqueAny.h"

namespace ombrel::test {

// Threads of this process right now; -1 when the system could not say.
inline int CountProcessThreads() {
    // A snapshot, like a file, is INVALID_HANDLE_VALUE when it failed.
    win::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int count = 0;
    DWORD self = ::GetCurrentProcessId();
    for (BOOL ok = ::Thread32First(snapshot.get(), &entry); ok; ok = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == self) ++count;
    }
    return count;
}

}  // namespace ombrel::test
