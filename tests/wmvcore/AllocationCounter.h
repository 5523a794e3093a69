// Counts the global operator new calls made on one thread while a counter is alive: the test
// executable replaces operator new, and the stand-in's objects are linked into it.
#pragma once

#include <windows.h>

namespace ombrel::test {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    long Count() const;
};

}  // namespace ombrel::test
