// The soak run's audio thread: hands the plug-in 576-frame blocks of the test pattern through
// the player stand-in's host as fast as the listener takes the stream, changing the sample
// rate every so often, and checks that each block comes back as it went in.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "tests/common/StreamListener.h"
#include "tools/soak/PlayerHost.h"
#include "win/UniqueAny.h"

namespace ombrel::test::soak {

constexpr int kBlockFrames = 576;

struct FeedPlan {
    double streamSeconds = 0;           // stream time to feed
    std::vector<int> rates{44100};      // the sample rate of each period, in turn
    double rateChangeSeconds = 3600;    // stream time between rate changes
    double maxLeadMs = 1500;            // how far the feed may run ahead of the listener
};

class Feeder {
public:
    Feeder(PlayerHost& host, const StreamListener& listener, const FeedPlan& plan);
    ~Feeder() { Join(); }
    Feeder(const Feeder&) = delete;
    Feeder& operator=(const Feeder&) = delete;

    bool Start();
    void Join();

    bool Done() const { return done_.load(); }
    // Stream time fed so far, as the encoder's audio clock counts it.
    double StreamSeconds() const { return streamTime_.load() / 1e7; }
    uint64_t Blocks() const { return blocks_.load(); }
    int RateChanges() const { return rateChanges_.load(); }
    uint64_t ModifiedBlocks() const { return modified_.load(); }
    uint64_t CountMismatches() const { return countMismatches_.load(); }
    // Wall time spent waiting for the listener, in seconds.
    double WaitedSeconds() const { return waitedTicks_.load() / frequency_; }
    bool ListenerLost() const { return listenerLost_.load(); }
    // Processor time of the feeding thread, known once it has been joined.
    double CpuSeconds() const { return cpuSeconds_; }

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    void WaitForListener(double fedMs);

    PlayerHost& host_;
    const StreamListener& listener_;
    const FeedPlan plan_;
    double frequency_ = 1;
    win::UniqueThread thread_;
    std::atomic<bool> done_{false};
    std::atomic<uint64_t> streamTime_{0};  // 100-ns units
    std::atomic<uint64_t> blocks_{0};
    std::atomic<int> rateChanges_{0};
    std::atomic<uint64_t> modified_{0};
    std::atomic<uint64_t> countMismatches_{0};
    std::atomic<int64_t> waitedTicks_{0};
    std::atomic<bool> listenerLost_{false};
    double cpuSeconds_ = 0;
};

}  // namespace ombrel::test::soak
