// What the process holds at one moment: private bytes, threads, and the live owners counted
// at each kind of the project's RAII wrappers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ombrel::test::soak {

struct LiveKind {
    const char* name;
    long count;
};

struct Census {
    // Committed private memory, summed over the address space (VirtualQuery): what Windows
    // counts as private bytes. Wine leaves GetProcessMemoryInfo's PrivateUsage at 0.
    SIZE_T privateBytes = 0;
    SIZE_T privateUsage = 0;  // GetProcessMemoryInfo, for when the system fills it in
    SIZE_T workingSet = 0;
    int threads = 0;
    std::vector<LiveKind> live;  // every wrapper kind, always in the same order
};

Census TakeCensus();
// A census whose live owners are each kind's least over a tenth of a second: the meter thread
// holds a window DC, a memory DC and a bitmap for the few milliseconds of each draw, and a
// census that caught a draw would count them; an owner that stays is counted in every sample.
Census TakeSettledCensus();

// The kinds whose count differs between two censuses, as "Kind a -> b" items.
std::vector<std::string> LiveDifferences(const Census& from, const Census& to);

}  // namespace ombrel::test::soak
