#include "tools/soak/Feeder.h"

#include <cstring>

#include "tests/common/PcmPattern.h"

namespace ombrel::test::soak {

Feeder::Feeder(PlayerHost& host, const StreamListener& listener, const FeedPlan& plan)
    : host_(host), listener_(listener), plan_(plan) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    frequency_ = static_cast<double>(frequency.QuadPart);
}

bool Feeder::Start() {
    thread_.reset(::CreateThread(nullptr, 0, &Feeder::ThreadMain, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

void Feeder::Join() {
    if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
}

DWORD WINAPI Feeder::ThreadMain(void* self) {
    static_cast<Feeder*>(self)->Run();
    return 0;
}

void Feeder::WaitForListener(double fedMs) {
    if (fedMs - listener_.LatestStreamMs() <= plan_.maxLeadMs) return;
    LARGE_INTEGER start, now;
    ::QueryPerformanceCounter(&start);
    while (fedMs - listener_.LatestStreamMs() > plan_.maxLeadMs) {
        if (listener_.Finished()) {
            listenerLost_ = true;
            break;
        }
        ::Sleep(1);
    }
    ::QueryPerformanceCounter(&now);
    waitedTicks_ += now.QuadPart - start.QuadPart;
}

void Feeder::Run() {
    int16_t block[kBlockFrames * 2];
    int16_t sent[kBlockFrames * 2];
    uint64_t frame = 0;         // the pattern's frame counter, across rates
    uint64_t segmentStart = 0;  // stream time (100 ns) where the current rate began
    uint64_t segmentFrames = 0;
    size_t period = 0;
    int rate = plan_.rates.empty() ? 44100 : plan_.rates[0];
    const uint64_t total = static_cast<uint64_t>(plan_.streamSeconds * 1e7);
    const uint64_t periodLength = static_cast<uint64_t>(plan_.rateChangeSeconds * 1e7);
    uint64_t now = 0;
    while (now < total && !listenerLost_) {
        // The rate of each period starts with the first block at or after its beginning.
        const size_t due = periodLength ? static_cast<size_t>(now / periodLength) : 0;
        if (due != period && !plan_.rates.empty()) {
            period = due;
            const int next = plan_.rates[period % plan_.rates.size()];
            if (next != rate) {
                rate = next;
                ++rateChanges_;
            }
            segmentStart = now;
            segmentFrames = 0;
        }
        FillPattern(block, frame, kBlockFrames);
        std::memcpy(sent, block, sizeof block);
        WaitForListener(now / 1e4);
        const int answer = host_.ModifySamples(block, kBlockFrames, 16, 2, rate);
        if (answer != kBlockFrames) ++countMismatches_;
        if (std::memcmp(sent, block, sizeof block) != 0) ++modified_;
        frame += kBlockFrames;
        segmentFrames += kBlockFrames;
        now = segmentStart + segmentFrames * 10000000ull / static_cast<uint64_t>(rate);
        streamTime_ = now;
        ++blocks_;
    }
    // Taken here: the system forgets a thread's times once it has ended.
    cpuSeconds_ = ThreadCpuSeconds(::GetCurrentThread());
    done_ = true;
}

}  // namespace ombrel::test::soak
