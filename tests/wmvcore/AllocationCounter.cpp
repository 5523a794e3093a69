#include "tests/wmvcore/AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {

volatile DWORD g_thread = 0;  // the counted thread; 0: none
volatile LONG g_count = 0;

void* Allocate(std::size_t size) {
    if (g_thread && ::GetCurrentThreadId() == g_thread) ::InterlockedIncrement(&g_count);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace ombrel::test {

AllocationCounter::AllocationCounter() {
    g_count = 0;
    g_thread = ::GetCurrentThreadId();
}

AllocationCounter::~AllocationCounter() { g_thread = 0; }

long AllocationCounter::Count() const { return g_count; }

}  // namespace ombrel::test
