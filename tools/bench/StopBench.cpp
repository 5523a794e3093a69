#include "tools/bench/StopBench.h"

#include <algorithm>
#include <atomic>

#include "plugin/BroadcastControl.h"
#include "plugin/Settings.h"
#include "plugin/SongWorker.h"
#include "tests/common/MessagePump.h"
#include "tools/bench/BenchSupport.h"
#include "tools/bench/Timing.h"
#include "ui/ResourceIds.h"
#include "win/UniqueAny.h"

namespace ombrel::test::bench {
namespace {

constexpr DWORD kRunMs = 300;
constexpr DWORD kWorkerBusyMs = 500;

// The player's audio thread at full speed (or, paced, at about the real rate: a block of 576
// frames every 13 ms), keeping the calls longer than 100 us.
class BusyAudio {
public:
    explicit BusyAudio(bool paced = false) : paced_(paced) { longCalls_.reserve(1 << 20); }
    ~BusyAudio() { Stop(); }
    void Start() { thread_.reset(::CreateThread(nullptr, 0, &BusyAudio::Main, this, 0, nullptr)); }
    void Stop() {
        stop_ = true;
        if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }
    uint64_t Blocks() const { return blocks_; }
    // Start tick and length of every call over 100 us; read after Stop.
    const std::vector<std::pair<int64_t, int64_t>>& LongCalls() const { return longCalls_; }

private:
    static DWORD WINAPI Main(void* self) {
        static_cast<BusyAudio*>(self)->Run();
        return 0;
    }
    void Run() {
        PatternBlocks pattern;
        const int64_t threshold = static_cast<int64_t>(TicksPerSecond() / 10000);
        for (uint64_t i = 0; !stop_; ++i) {
            const int64_t t0 = Now();
            ModifyBlock(pattern.Block(i));
            const int64_t length = Now() - t0;
            if (length > threshold && longCalls_.size() < longCalls_.capacity()) longCalls_.emplace_back(t0, length);
            blocks_ = i + 1;
            if (paced_) ::Sleep(13);
        }
    }

    const bool paced_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> blocks_{0};
    std::vector<std::pair<int64_t, int64_t>> longCalls_;
    win::UniqueThread thread_;
};

}  // namespace

StopResult MeasureStops(soak::PlayerHost& host, int cycles, int heldCycles, const std::vector<HoldingNode>& nodes,
                        bool realRate) {
    StopResult result;
    result.heldStopsMs.resize(nodes.size());
    BusyAudio audio(realRate);
    audio.Start();
    std::vector<std::pair<int64_t, int64_t>> windows;  // each stop, from the command to its return
    int track = 100;
    const int total = cycles + heldCycles * static_cast<int>(nodes.size());
    for (int cycle = 0; cycle < total; ++cycle) {
        // Which node holds this cycle's update; -1 for the plain stops.
        const int node = cycle < cycles ? -1 : (cycle - cycles) / std::max(heldCycles, 1);
        if (node >= 0) ombrel::_settings.peerCast._dwPort = static_cast<DWORD>(nodes[node].port);
        std::string box;
        if (!host.StartBroadcast(&box)) {
            result.error = "start " + std::to_string(cycle + 1) + " failed: " + box;
            break;
        }
        if (node >= 0) {
            // A new track: the worker asks the player for its tags, then sends the PeerCast
            // request, which the node holds.
            host.Announce(++track);
            Pump(kWorkerBusyMs);
        } else {
            Pump(kRunMs);
        }
        const int64_t t0 = Now();
        host.Command(IDM_STOP_BROADCAST);
        const int64_t t1 = Now();
        windows.emplace_back(t0, t1);
        const double ms = TicksToMs(static_cast<double>(t1 - t0));
        (node >= 0 ? result.heldStopsMs[node] : result.stopsMs).push_back(ms);
        if (ombrel::IsBroadcasting() || ombrel::SongWorkerRunning()) ++result.notIdle;
        Pump(50);
    }
    audio.Stop();
    result.blocks = audio.Blocks();
    for (const auto& call : audio.LongCalls()) {
        const double us = TicksToNs(static_cast<double>(call.second)) / 1e3;
        const bool during = std::any_of(windows.begin(), windows.end(), [&](const auto& w) {
            return call.first < w.second && call.first + call.second > w.first;
        });
        double& max = during ? result.modifyMaxDuringStopsUs : result.modifyMaxOutsideUs;
        max = std::max(max, us);
    }
    result.ran = result.error.empty();
    return result;
}

RelayStopResult MeasureRelayStops(soak::PlayerHost& host, int cycles, StandInNode& node) {
    RelayStopResult result;
    PeerCastSettings& peerCast = ombrel::_settings.peerCast;
    const PeerCastSettings saved = peerCast;
    peerCast._fRelayChannel = TRUE;
    peerCast._dwPort = static_cast<DWORD>(node.port());
    const std::string channel = peerCast._cChannel;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        std::string box;
        if (!host.StartBroadcast(&box)) {
            result.error = "relay start " + std::to_string(cycle + 1) + " failed: " + box;
            break;
        }
        if (!PumpUntil(5000, [&] { return !node.Channel(channel).is_null(); })) {
            result.error = "no relay channel at start " + std::to_string(cycle + 1);
            host.Command(IDM_STOP_BROADCAST);
            break;
        }
        const int64_t t0 = Now();
        host.Command(IDM_STOP_BROADCAST);
        const int64_t t1 = Now();
        const bool ended = PumpUntil(5000, [&] { return node.Channel(channel).is_null(); });
        const int64_t t2 = Now();
        result.stopsMs.push_back(TicksToMs(static_cast<double>(t1 - t0)));
        if (!ended) {
            result.error = "the relay channel outlived stop " + std::to_string(cycle + 1);
            break;
        }
        result.endedMs.push_back(TicksToMs(static_cast<double>(t2 - t0)));
    }
    peerCast = saved;
    result.ran = result.error.empty();
    return result;
}

RecordedStops MeasureRecordedStops(soak::PlayerHost& host, int cycles) {
    RecordedStops result;
    WCHAR temp[MAX_PATH] = L"";
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"ombrel-bench-recordings-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ombrel::ExtraSettings& extra = ombrel::_settings.extra;
    const ombrel::ExtraSettings saved = extra;
    extra._fArchive = TRUE;
    extra._cArchiveFolder = folder;
    result.stops = MeasureStops(host, cycles, 0, {}, true);
    result.fullSpeed = MeasureStops(host, cycles, 0, {}, false);
    extra = saved;
    WIN32_FIND_DATAW found;
    win::UniqueFind find(::FindFirstFileW((folder + L"\\ombrel-*.wma").c_str(), &found));
    for (bool more = bool(find); more; more = ::FindNextFileW(find.get(), &found)) {
        ++result.files;
        ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    }
    ::RemoveDirectoryW(folder.c_str());
    return result;
}

}  // namespace ombrel::test::bench
