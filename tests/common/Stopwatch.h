// Elapsed time and a hang bound for work that must end.
#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

namespace ombrel::test {

class Stopwatch {
public:
    Stopwatch() : start_(::GetTickCount()) {}
    DWORD ms() const { return ::GetTickCount() - start_; }

private:
    DWORD start_;
};

// Runs work on a thread of its own and waits up to hangMs for it. When it has not ended by
// then, rescue must make it end (closing the peer's side, say); the result is false.
template <typename Work, typename Rescue>
bool EndsWithin(DWORD hangMs, Work work, Rescue rescue) {
    std::atomic<bool> done{false};
    std::thread thread([&] {
        work();
        done = true;
    });
    Stopwatch watch;
    while (!done && watch.ms() < hangMs) ::Sleep(5);
    const bool ended = done;
    if (!ended) rescue();
    thread.join();
    return ended;
}

}  // namespace ombrel::test
