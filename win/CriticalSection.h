// A critical section and its scoped lock.
#pragma once

#include <windows.h>

namespace win {

class CriticalSection {
public:
    CriticalSection() noexcept { ::InitializeCriticalSection(&cs_); }
    ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() noexcept { ::EnterCriticalSection(&cs_); }
    bool TryEnter() noexcept { return ::TryEnterCriticalSection(&cs_) != FALSE; }
    void Leave() noexcept { ::LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

class CsLock {
public:
    explicit CsLock(CriticalSection& cs) noexcept : cs_(cs) { cs_.Enter(); }
    ~CsLock() { cs_.Leave(); }
    CsLock(const CsLock&) = delete;
    CsLock& operator=(const CsLock&) = delete;

private:
    CriticalSection& cs_;
};

}  // namespace win
