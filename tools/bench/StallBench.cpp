#include "tools/bench/StallBench.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>

#include "encoder/RuntimeEntryPoints.h"
#include "plugin/Settings.h"
#include "tests/common/FakeRuntime.h"
#include "tests/common/StreamListener.h"
#include "tools/bench/BenchSupport.h"
#include "tools/bench/CopyingWriter.h"
#include "tools/bench/StallSampler.h"
#include "ui/MeterThread.h"
#include "ui/ResourceIds.h"
#include "win/UniqueAny.h"

namespace ombrel::test::bench {
namespace {

constexpr DWORD kTitleEveryMs = 50;
// The worker's first title of a broadcast counts as a new track and would go to PeerCast at
// once, holding the worker for the request's whole time limit: PeerCast is switched on only
// once titles flow, and the first new track comes a second in (a million blocks take a few
// seconds), then every ten seconds.
constexpr DWORD kPeerCastOnAfterMs = 500;
constexpr DWORD kFirstTrackAfterMs = 1000;
constexpr DWORD kTrackEveryMs = 10000;
constexpr int kListenerSlots = 3;
constexpr size_t kWorstKept = 12;
constexpr double kSampleAfterUs = 500;
constexpr size_t kChainsShown = 6;

// Listeners that connect, pull for a while and leave, over and over, until told to stop.
class ListenerChurn {
public:
    explicit ListenerChurn(int port) : port_(port) {}
    ~ListenerChurn() { Stop(); }
    void Start() { thread_.reset(::CreateThread(nullptr, 0, &ListenerChurn::Main, this, 0, nullptr)); }
    void Stop() {
        stop_ = true;
        if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
    int Sessions() const { return sessions_; }
    int Dropped() const { return dropped_; }

private:
    static DWORD WINAPI Main(void* self) {
        static_cast<ListenerChurn*>(self)->Run();
        return 0;
    }
    void Run() {
        std::mt19937 random(8);
        std::uniform_int_distribution<DWORD> stay(100, 1500);
        // One listener per slot for the whole run, started again for each session: a session
        // allocates no buffers of its own.
        std::unique_ptr<StreamListener> slots[kListenerSlots];
        for (auto& slot : slots) slot = std::make_unique<StreamListener>(port_, ListenMode::kCount);
        bool started[kListenerSlots] = {};
        DWORD leaveAt[kListenerSlots] = {};
        while (!stop_) {
            const DWORD now = ::GetTickCount();
            for (int i = 0; i < kListenerSlots; ++i) {
                auto& slot = slots[i];
                if (started[i] && !slot->Finished() && static_cast<LONG>(now - leaveAt[i]) < 0) continue;
                if (started[i] && slot->Finished()) ++dropped_;
                started[i] = slot->Start();
                if (started[i]) ++sessions_;
                leaveAt[i] = now + stay(random);
            }
            ::Sleep(20);
        }
    }

    const int port_;
    std::atomic<bool> stop_{false};
    std::atomic<int> sessions_{0};
    std::atomic<int> dropped_{0};
    win::UniqueThread thread_;
};

}  // namespace

StallResult MeasureStalls(soak::PlayerHost& host, int port, size_t blocks, StallRuntime runtime) {
    StallResult result;
    result.runtime = runtime;
    std::unique_ptr<fake::ScopedRuntime> fakeRuntime;
    if (runtime == StallRuntime::kFake) {
        fakeRuntime = std::make_unique<fake::ScopedRuntime>();
        ombrel::ActiveRuntimeEntryPoints() = CopyingRuntimeEntryPoints();
    }
    std::string box;
    if (!host.StartBroadcast(&box)) {
        result.error = "the start failed: " + box;
        return result;
    }
    ListenerChurn churn(port);
    if (runtime == StallRuntime::kStandIn) churn.Start();
    StallSampler sampler(kSampleAfterUs);

    std::vector<uint32_t> modify(blocks);
    std::vector<uint32_t> control(blocks);
    std::vector<std::pair<int64_t, size_t>> longCalls;  // start tick, block
    longCalls.reserve(100000);
    const int64_t oneMs = static_cast<int64_t>(TicksPerSecond() / 1000);
    const int64_t start = Now();
    const long passesBefore = ombrel::MeterPassCount();

    const BOOL peerCast = ombrel::_settings.peerCast._fEnable;
    ombrel::_settings.peerCast._fEnable = FALSE;
    int track = 0;
    const DWORD begin = ::GetTickCount();
    DWORD nextTitle = begin;
    DWORD nextTrack = begin + kFirstTrackAfterMs;
    const long long scriptsBefore = CopiedScripts();
    auto tick = [&] {
        const DWORD now = ::GetTickCount();
        if (now - begin >= kPeerCastOnAfterMs) ombrel::_settings.peerCast._fEnable = peerCast;
        if (static_cast<LONG>(now - nextTrack) >= 0) {
            ++track;
            ++result.trackChanges;
            nextTrack += kTrackEveryMs;
        }
        if (static_cast<LONG>(now - nextTitle) >= 0) {
            host.Announce(track);
            ++result.titleAnnouncements;
            nextTitle = now + kTitleEveryMs;
        }
    };
    RunWhilePumping(
        [&] {
            PatternBlocks pattern;
            std::vector<short> copy(kBlockFrames * 2);
            sampler.AttachCurrentThread();
            for (size_t i = 0; i < blocks; ++i) {
                short* block = pattern.Block(i);
                const int64_t t0 = Now();
                sampler.Enter(t0);
                ModifyBlock(block);
                sampler.Leave();
                const int64_t t1 = Now();
                FloorOperation(block, copy.data());
                const int64_t t2 = Now();
                modify[i] = static_cast<uint32_t>(t1 - t0);
                control[i] = static_cast<uint32_t>(t2 - t1);
                if (t1 - t0 > oneMs / 10 && longCalls.size() < longCalls.capacity()) longCalls.emplace_back(t0, i);
            }
        },
        tick);
    result.wallSeconds = TicksToMs(static_cast<double>(Now() - start)) / 1e3;
    sampler.Stop();
    result.samples = sampler.Samples();
    result.where = sampler.Top(kChainsShown);
    result.meterPasses = ombrel::MeterPassCount() - passesBefore;
    if (runtime == StallRuntime::kFake) result.scriptsWritten = CopiedScripts() - scriptsBefore;
    churn.Stop();
    host.Command(IDM_STOP_BROADCAST);
    ombrel::_settings.peerCast._fEnable = peerCast;
    result.listenerSessions = churn.Sessions();
    result.listenersDropped = churn.Dropped();

    std::sort(longCalls.begin(), longCalls.end(),
              [&](const auto& a, const auto& b) { return modify[a.second] > modify[b.second]; });
    for (size_t i = 0; i < longCalls.size() && i < kWorstKept; ++i) {
        const size_t block = longCalls[i].second;
        result.worst.push_back({TicksToMs(static_cast<double>(longCalls[i].first - start)) / 1e3,
                                TicksToNs(modify[block]) / 1e3, TicksToNs(control[block]) / 1e3});
    }
    result.modify = Summarise(std::move(modify));
    result.control = Summarise(std::move(control));
    result.blocks = blocks;
    result.ran = true;
    return result;
}

}  // namespace ombrel::test::bench
