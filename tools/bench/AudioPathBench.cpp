#include "tools/bench/AudioPathBench.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "encoder/RuntimeEntryPoints.h"
#include "plugin/BroadcastControl.h"
#include "tests/common/FakeRuntime.h"
#include "tests/common/StreamListener.h"
#include "tools/bench/BenchSupport.h"
#include "tools/bench/CopyingWriter.h"
#include "ui/ResourceIds.h"

namespace ombrel::test::bench {
namespace {

constexpr size_t kWarmupBlocks = 2000;
constexpr size_t kBatch = 32;  // short enough for the paced run to wait between batches
// How far the feed may run ahead of the slowest listener, by the send times of the packets it
// has seen. A packet's send time is that of its first payload, and a packet of the default WMA
// format spans about a third of a second, behind the encoder's own delay: a tighter lead could
// hold back the input the next packet needs. The sink queues 1 MiB per listener, six seconds
// of the PCM format, so two seconds never costs a listener.
constexpr double kMaxLeadMs = 2000;
constexpr DWORD kListenerStallMs = 2000;  // how long the feed waits for a listener that does not move

std::string LoadedModulePath(const char* name) {
    HMODULE module = ::GetModuleHandleA(name);
    if (!module) return std::string();
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(module, path, MAX_PATH);
    return path;
}

// Times blocks one by one, each followed by the floor operation on the same block, timed too
// (the floor under the same conditions: the processor's clock and caches vary between runs);
// then in batches. wait (if any) runs before each block, untimed.
void TimeBlocks(size_t blocks, const std::function<void(short*)>& operation, const std::function<void()>& wait,
                PathResult* result) {
    PatternBlocks pattern;
    std::vector<short> copy(kBlockFrames * 2);
    std::vector<uint32_t> ticks(blocks);
    std::vector<uint32_t> floorTicks(blocks);
    for (size_t i = 0; i < kWarmupBlocks; ++i) {
        if (wait) wait();
        operation(pattern.Block(i));
    }
    for (size_t i = 0; i < blocks; ++i) {
        if (wait) wait();
        short* block = pattern.Block(i);
        const int64_t t0 = Now();
        operation(block);
        const int64_t t1 = Now();
        FloorOperation(block, copy.data());
        const int64_t t2 = Now();
        ticks[i] = static_cast<uint32_t>(t1 - t0);
        floorTicks[i] = static_cast<uint32_t>(t2 - t1);
    }
    double batchTicks = 0;
    size_t batched = 0;
    for (size_t done = 0; done < blocks; done += kBatch) {
        if (wait) wait();
        const int64_t start = Now();
        for (size_t i = 0; i < kBatch; ++i) operation(pattern.Block(done + i));
        batchTicks += static_cast<double>(Now() - start);
        batched += kBatch;
    }
    result->perBlock = Summarise(std::move(ticks));
    result->floor = Summarise(std::move(floorTicks));
    result->batchMeanNs = TicksToNs(batchTicks / static_cast<double>(batched));
    result->blocks = blocks;
    result->ran = true;
}

}  // namespace

PathResult MeasureFloor(size_t blocks) {
    PathResult result;
    std::vector<short> copy(kBlockFrames * 2);
    auto floor = [&](short* block) { FloorOperation(block, copy.data()); };
    RunWhilePumping([&] { TimeBlocks(blocks, floor, nullptr, &result); });
    return result;
}

PathResult MeasureFakeRuntime(soak::PlayerHost& host, size_t blocks) {
    PathResult result;
    fake::ScopedRuntime runtime;
    ombrel::ActiveRuntimeEntryPoints() = CopyingRuntimeEntryPoints();
    std::string box;
    if (!host.StartBroadcast(&box)) {
        result.error = "the start failed: " + box;
        return result;
    }
    const long long copiedBefore = CopiedSamples();
    const int64_t start = Now();
    RunWhilePumping([&] { TimeBlocks(blocks, [](short* block) { ModifyBlock(block); }, nullptr, &result); });
    result.wallSeconds = TicksToMs(static_cast<double>(Now() - start)) / 1e3;
    host.Command(IDM_STOP_BROADCAST);
    // Every block timed reached the writer: the measurement is of the whole path.
    const long long copied = CopiedSamples() - copiedBefore;
    if (copied < static_cast<long long>(2 * blocks)) result.error = "the writer got fewer samples than blocks fed";
    result.runtimeModule = "in-process fake runtime, copying writer";
    return result;
}

PathResult MeasureStandIn(soak::PlayerHost& host, int port, size_t blocks, int listeners) {
    PathResult result;
    std::string box;
    if (!host.StartBroadcast(&box)) {
        result.error = "the start failed: " + box;
        return result;
    }
    result.runtimeModule = LoadedModulePath("wmvcore.dll");
    std::vector<std::unique_ptr<StreamListener>> pulling;
    for (int i = 0; i < listeners; ++i) {
        pulling.push_back(std::make_unique<StreamListener>(port, ListenMode::kCount));
        if (!pulling.back()->Start() || !pulling.back()->WaitForHeader(5000)) {
            result.error = "listener " + std::to_string(i + 1) + " got no stream";
            host.Command(IDM_STOP_BROADCAST);
            return result;
        }
    }
    result.listeners = listeners;
    uint64_t fedBlocks = 0;
    // Keeps the feed within reach of the slowest listener, so the sink never drops one.
    // A listener that has stopped moving must not hold the run: after kListenerStallMs it is
    // left out of the rule for the rest of the run and counted, so the figures come with it said.
    std::vector<bool> leftOut(pulling.size(), false);
    uint32_t waitedAt = UINT32_MAX;
    DWORD waitStart = ::GetTickCount();
    auto wait = [&] {
        const double fedMs = fedBlocks * kBlockFrames * 1000.0 / 44100.0;
        for (;;) {
            uint32_t slowest = UINT32_MAX;
            size_t slowestIndex = pulling.size();
            for (size_t i = 0; i < pulling.size(); ++i) {
                if (leftOut[i] || pulling[i]->Finished()) continue;
                const uint32_t at = pulling[i]->LatestStreamMs();
                if (at < slowest) {
                    slowest = at;
                    slowestIndex = i;
                }
            }
            if (slowestIndex == pulling.size() || fedMs - slowest <= kMaxLeadMs) break;
            if (slowest != waitedAt) {
                waitedAt = slowest;
                waitStart = ::GetTickCount();
            } else if (::GetTickCount() - waitStart > kListenerStallMs) {
                ++result.listenerStalls;
                leftOut[slowestIndex] = true;
                waitedAt = UINT32_MAX;
                continue;
            }
            ::Sleep(1);
        }
    };
    auto feed = [&](short* block) {
        ModifyBlock(block);
        ++fedBlocks;
    };
    const int64_t start = Now();
    RunWhilePumping([&] { TimeBlocks(blocks, feed, wait, &result); });
    result.wallSeconds = TicksToMs(static_cast<double>(Now() - start)) / 1e3;
    result.streamSeconds = fedBlocks * kBlockFrames / 44100.0;
    for (const auto& listener : pulling)
        if (!listener->Finished()) ++result.listenersKept;
    host.Command(IDM_STOP_BROADCAST);
    for (auto& listener : pulling) listener->Stop();
    return result;
}

}  // namespace ombrel::test::bench
