#include "tools/bench/BenchSupport.h"

#include <cstring>

#include "ui/LevelMeter.h"
#include "win/UniqueAny.h"

namespace ombrel::test::bench {
namespace {

DWORD WINAPI RunBody(void* body) {
    (*static_cast<const std::function<void()>*>(body))();
    return 0;
}

void DispatchWaiting() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

}  // namespace

void RunWhilePumping(const std::function<void()>& body, const std::function<void()>& tick) {
    win::UniqueThread thread(
        ::CreateThread(nullptr, 0, RunBody, const_cast<std::function<void()>*>(&body), 0, nullptr));
    if (!thread) return;
    HANDLE handle = thread.get();
    for (;;) {
        DispatchWaiting();
        if (tick) tick();
        if (::MsgWaitForMultipleObjects(1, &handle, FALSE, 5, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    }
    DispatchWaiting();
}

PatternBlocks::PatternBlocks(int count) : count_(count), samples_(static_cast<size_t>(count) * kBlockFrames * 2) {
    for (int i = 0; i < count; ++i)
        FillPattern(reinterpret_cast<int16_t*>(Block(i)), static_cast<uint64_t>(i) * kBlockFrames, kBlockFrames);
}

void FloorOperation(const short* block, short* copy) {
    std::memcpy(copy, block, kBlockBytes);
    ombrel::ComputePeaks(copy, kBlockFrames, 16, 2);
}

}  // namespace ombrel::test::bench
