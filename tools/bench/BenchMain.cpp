// The benchmark of the audio path, run under Wine: the floor (copying one 576-frame 16-bit
// stereo block and scanning its peaks), ModifySamples while broadcasting into the fake runtime
// and into the runtime stand-in with five listeners (PCM, then the default WMA format), the
// stand-in's encoding cost per second of audio, the audio thread's stalls under load, the level
// meter's cost and the stop command's latency. Prints a table and one summary line that
// begins with OMBREL_BENCH. A measurement, not a test: the targets are reported, not asserted.
//
//   ombrel_bench.exe [--blocks N] [--stall-blocks N] [--stops N] [--hung-stops N]
//                    [--meter-passes N] [--meter-seconds S] [--encode-seconds S]
//                    [--conversion-blocks N] [--conversion-only 1]
#include <winsock.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "tests/common/Loopback.h"
#include "tests/common/MessagePump.h"
#include "tests/common/StandInNode.h"
#include "tools/bench/AudioPathBench.h"
#include "tools/bench/BenchSupport.h"
#include "tools/bench/ConversionBench.h"
#include "tools/bench/EncodeBench.h"
#include "tools/bench/MeterBench.h"
#include "tools/bench/StallBench.h"
#include "tools/bench/StopBench.h"
#include "tools/bench/Timing.h"
#include "tools/soak/PlayerHost.h"

namespace ombrel::test::bench {
namespace {

struct Options {
    size_t blocks = 200000;
    size_t stallBlocks = 1000000;
    int stops = 20;
    int hungStops = 5;  // for each node that holds the PeerCast update
    int meterPasses = 3000;
    DWORD meterSeconds = 20;
    double encodeSeconds = 60;
    size_t conversionBlocks = 100000;
    bool conversionOnly = false;  // --conversion-only 1: the conversion rows and nothing else
};

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) return false;
        const long value = std::atol(argv[++i]);
        if (value < 0) return false;
        if (name == "--blocks") options->blocks = static_cast<size_t>(std::max(value, 1000L));
        else if (name == "--stall-blocks") options->stallBlocks = static_cast<size_t>(std::max(value, 1000L));
        else if (name == "--stops") options->stops = static_cast<int>(value);
        else if (name == "--hung-stops") options->hungStops = static_cast<int>(value);
        else if (name == "--meter-passes") options->meterPasses = static_cast<int>(std::max(value, 10L));
        else if (name == "--meter-seconds") options->meterSeconds = static_cast<DWORD>(std::max(value, 1L));
        else if (name == "--conversion-blocks") options->conversionBlocks = static_cast<size_t>(std::max(value, 100L));
        else if (name == "--conversion-only") options->conversionOnly = value != 0;
        else if (name == "--encode-seconds") options->encodeSeconds = static_cast<double>(std::max(value, 1L));
        else return false;
    }
    return true;
}

struct ClockInfo {
    double frequency = 0;
    double stepNs = 0;    // smallest non-zero difference between two readings
    double callNs = 0;    // one QueryPerformanceCounter call, median
    double sleep1Ms = 0;  // Sleep(1), median
    double sleep33Ms = 0; // Sleep(33), median
};

ClockInfo MeasureClock() {
    ClockInfo info;
    info.frequency = TicksPerSecond();
    int64_t smallest = INT64_MAX;
    std::vector<uint32_t> calls;
    for (int i = 0; i < 100000; ++i) {
        const int64_t a = Now();
        const int64_t b = Now();
        if (b > a) smallest = std::min(smallest, b - a);
        if (i % 10 == 0) calls.push_back(static_cast<uint32_t>(b - a));
    }
    info.stepNs = TicksToNs(static_cast<double>(smallest));
    // Back-to-back readings in a run of a thousand, so the step does not hide the cost.
    const int64_t start = Now();
    for (int i = 0; i < 1000; ++i) Now();
    info.callNs = TicksToNs(static_cast<double>(Now() - start)) / 1000;
    std::vector<uint32_t> sleeps1, sleeps33;
    for (int i = 0; i < 50; ++i) {
        const int64_t t = Now();
        ::Sleep(1);
        sleeps1.push_back(static_cast<uint32_t>(Now() - t));
    }
    for (int i = 0; i < 10; ++i) {
        const int64_t t = Now();
        ::Sleep(33);
        sleeps33.push_back(static_cast<uint32_t>(Now() - t));
    }
    info.sleep1Ms = Summarise(sleeps1).p50 / 1e6;
    info.sleep33Ms = Summarise(sleeps33).p50 / 1e6;
    return info;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Max(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void PrintRow(const char* label, const Distribution& d, double floorMedian, double batchMean = 0) {
    char batch[32] = "-";
    if (batchMean > 0) std::snprintf(batch, sizeof batch, "%.2f", batchMean / 1e3);
    std::printf("%-46s %9.2f %9.2f %9.2f %10.2f %9.2f %9s %7.2f\n", label, d.p50 / 1e3, d.p99 / 1e3, d.p999 / 1e3,
                d.max / 1e3, d.mean / 1e3, batch, floorMedian > 0 ? d.p50 / floorMedian : 0.0);
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

void PrintStalls(const StallResult& s) {
    const bool standIn = s.runtime == StallRuntime::kStandIn;
    std::printf("audio thread under load, %s: %zu blocks in %.1f s (%.0fx real time)\n",
                standIn ? "runtime stand-in" : "fake runtime (copying writer)", s.blocks, s.wallSeconds,
                s.wallSeconds > 0 ? s.blocks * 576.0 / 44100.0 / s.wallSeconds : 0.0);
    std::printf("  load: %d title announcements (every 50 ms), %d track changes (PeerCast requests to a node that "
                "never answers), %ld meter passes (%.1f/s), the monitor every 500 ms",
                s.titleAnnouncements, s.trackChanges, s.meterPasses,
                s.wallSeconds > 0 ? s.meterPasses / s.wallSeconds : 0.0);
    if (standIn)
        std::printf(", %d listener connections, %d of them dropped by the sink", s.listenerSessions,
                    s.listenersDropped);
    else
        std::printf("; %lld script commands reached the runtime", s.scriptsWritten);
    std::printf("\n%-46s %9s %9s %9s %10s %9s %9s %9s\n", "  microseconds", "median", "p99", "p99.9", "max", "mean",
                ">100us", ">1ms");
    auto row = [](const char* label, const Distribution& d) {
        std::printf("%-46s %9.2f %9.2f %9.2f %10.1f %9.2f %9zu %9zu\n", label, d.p50 / 1e3, d.p99 / 1e3, d.p999 / 1e3,
                    d.max / 1e3, d.mean / 1e3, d.over100us, d.over1ms);
    };
    row("  ModifySamples", s.modify);
    row("  floor operation right after it (control)", s.control);
    std::printf("  longest calls (s into the run: ModifySamples us / control us):");
    for (const Stall& stall : s.worst) std::printf(" %.2f:%.0f/%.0f", stall.atSeconds, stall.modifyUs, stall.controlUs);
    std::printf("\n  calls over 0.5 ms sampled: %d; where they were (innermost first):\n", s.samples);
    for (const auto& chain : s.where) std::printf("    %5d at %s\n", chain.first, chain.second.c_str());
    std::printf("\n");
}

}  // namespace

int Main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "usage: ombrel_bench [--blocks N] [--stall-blocks N] [--stops N] [--hung-stops N] "
                             "[--meter-passes N] [--meter-seconds S] [--conversion-blocks N] [--conversion-only 1]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(1, 1), &wsa) != 0) return 2;

    SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    const ClockInfo clock = MeasureClock();
    std::printf("Ombrel audio-path benchmark: 576-frame 16-bit stereo blocks (2304 bytes)\n");
    std::printf("processors %lu; QueryPerformanceCounter %.3f MHz (a tick is %.0f ns), smallest step seen %.0f ns, "
                "a reading costs %.0f ns; Sleep(1) takes %.2f ms, Sleep(33) %.2f ms\n\n",
                system.dwNumberOfProcessors, clock.frequency / 1e6, 1e9 / clock.frequency, clock.stepNs, clock.callNs,
                clock.sleep1Ms, clock.sleep33Ms);

    // Converting the player's PCM for the writer, on the audio thread inside WriteAudio.
    std::printf("%-46s %9s %9s %9s %10s %9s\n", "PCM conversion per 576-frame block, us", "median", "p99", "p99.9",
                "max", "mean");
    for (const ConversionRow& row : MeasureConversions(options.conversionBlocks))
        std::printf("%-46s %9.2f %9.2f %9.2f %10.2f %9.2f\n", row.label.c_str(), row.perBlock.p50 / 1e3,
                    row.perBlock.p99 / 1e3, row.perBlock.p999 / 1e3, row.perBlock.max / 1e3, row.perBlock.mean / 1e3);
    std::printf("\n");
    if (options.conversionOnly) return 0;

    soak::SettingsFileGuard settingsFile;
    soak::PlayerHost host("Ombrel bench player");
    ombrel::test::StandInNode silentNode(ombrel::test::NodeBehaviour::NeverAnswer);
    ombrel::test::StandInNode deafNode(ombrel::test::NodeBehaviour::NeverRead);
    std::string error;
    if (!host.WriteTracks(8, &error) || !silentNode.listening() || !deafNode.listening() || !host.Init(&error)) {
        std::fprintf(stderr, "set-up failed: %s\n", error.c_str());
        return 2;
    }
    const int port = FreeLoopbackPort();
    ombrel::_settings.extra._dwPort = static_cast<DWORD>(port);
    ombrel::_settings.extra._dwMaxClient = 5;
    ombrel::_settings.extra._fPlayLog = FALSE;
    ombrel::_settings.peerCast._fEnable = FALSE;
    ombrel::_inputFormat.scriptEnabled = TRUE;

    // The main window's first painting and the fonts it loads are over before anything is timed.
    Pump(3000);
    const PathResult floor = MeasureFloor(options.blocks);
    const PathResult fake = MeasureFakeRuntime(host, options.blocks);
    // "Windows Media Audio 9.2 Lossless" (PCM) for the figures kept from before the stand-in
    // encoded, then the catalogue's default, WMA v2 at its highest bit rate.
    ombrel::_encoderSettings.audio.codecIndex = 2;
    ombrel::_encoderSettings.audio.formatIndex = 0;
    const PathResult standIn = MeasureStandIn(host, port, options.blocks, 5);
    ombrel::_encoderSettings.audio.codecIndex = 1;
    const PathResult standInWma = MeasureStandIn(host, port, options.blocks, 5);
    ombrel::_encoderSettings.audio.codecIndex = 2;
    const EncodeResult encoding = MeasureEncoding(options.encodeSeconds);

    // From here on the song worker's PeerCast requests go to a node that never answers.
    ombrel::_settings.peerCast._fEnable = TRUE;
    ombrel::_settings.peerCast._dwPort = static_cast<DWORD>(silentNode.port());
    ombrel::_settings.peerCast._cChannel = "bench";
    const StallResult fakeStalls = MeasureStalls(host, port, options.stallBlocks, StallRuntime::kFake);
    const StallResult stalls = MeasureStalls(host, port, options.stallBlocks, StallRuntime::kStandIn);
    const std::vector<HoldingNode> holdingNodes = {{"never answers", "silent", silentNode.port()},
                                                   {"never reads", "unread", deafNode.port()}};
    const StopResult stops = MeasureStops(host, options.stops, options.hungStops, holdingNodes);
    ombrel::test::StandInNode relayNode(ombrel::test::NodeBehaviour::JsonRpc);
    const RelayStopResult relayStops = MeasureRelayStops(host, options.stops, relayNode);
    // The same stops with every broadcast recorded: the file's end is written within the stop.
    ombrel::_settings.peerCast._fEnable = FALSE;
    const RecordedStops recorded = MeasureRecordedStops(host, options.stops);
    const MeterResult meter = MeasureMeter(host, options.meterPasses, options.meterSeconds);
    host.Quit();
    silentNode.Stop();
    deafNode.Stop();

    for (const std::string* problem :
         {&fake.error, &standIn.error, &standInWma.error, &encoding.error, &fakeStalls.error, &stalls.error, &stops.error, &relayStops.error, &meter.error})
        if (!problem->empty()) std::printf("problem: %s\n", problem->c_str());

    std::printf("%-46s %9s %9s %9s %10s %9s %9s %7s\n", "per block, microseconds", "median", "p99", "p99.9", "max",
                "mean", "batch", "x floor");
    const double floorMedian = floor.perBlock.p50;
    PrintRow("floor: copy + peak scan", floor.perBlock, floorMedian, floor.batchMeanNs);
    PrintRow("ModifySamples, fake runtime (copying writer)", fake.perBlock, fake.floor.p50, fake.batchMeanNs);
    PrintRow("  floor right after each of those blocks", fake.floor, fake.floor.p50);
    PrintRow("ModifySamples, runtime stand-in, 5 listeners", standIn.perBlock, standIn.floor.p50, standIn.batchMeanNs);
    PrintRow("  floor right after each of those blocks", standIn.floor, standIn.floor.p50);
    std::printf("  (%zu blocks each; batch = runs of 32 blocks timed together; x floor = median over the median of the "
                "floor timed in the same run; the stand-in run fed %.0f s of stream in %.1f s, %d of %d listeners "
                "still connected at the end; runtime %s)\n\n",
                floor.blocks, standIn.streamSeconds, standIn.wallSeconds, standIn.listenersKept, standIn.listeners,
                standIn.runtimeModule.c_str());
    PrintRow("ModifySamples, stand-in WMA, 5 listeners", standInWma.perBlock, standInWma.floor.p50,
             standInWma.batchMeanNs);
    PrintRow("  floor right after each of those blocks", standInWma.floor, standInWma.floor.p50);
    std::printf("  (the default format; fed %.0f s of stream in %.1f s, %d of %d listeners still connected)\n",
                standInWma.streamSeconds, standInWma.wallSeconds, standInWma.listenersKept, standInWma.listeners);
    std::printf("  listeners left out of the feed's pacing after not moving for 2 s: %d with PCM, %d with "
                "WMA\n\n",
                standIn.listenerStalls, standInWma.listenerStalls);
    std::printf("stand-in encoding, %s: %.1f ms per second of 44.1 kHz audio (%.1f ms of thread time, %.0fx real "
                "time); %.1f ms per second of 48 kHz input resampled (%.1f s of audio each)\n\n",
                encoding.format.c_str(), encoding.msPerSecond, encoding.cpuMsPerSecond,
                encoding.msPerSecond > 0 ? 1000 / encoding.msPerSecond : 0.0, encoding.resampledMsPerSecond,
                encoding.audioSeconds);

    PrintStalls(fakeStalls);
    PrintStalls(stalls);

    std::printf("level meter: control 1004 is %dx%d; a drawing pass takes %.1f us median, %.1f us p99, %.1f us max "
                "(%d passes), %.1f us of thread time\n",
                meter.width, meter.height, meter.pass.p50 / 1e3, meter.pass.p99 / 1e3, meter.pass.max / 1e3,
                options.meterPasses, meter.passCpuUs);
    std::printf("  meter thread while playing: %ld passes in %.1f s (%.1f/s), %.0f ms of thread time: %.2f%% of one "
                "core; loop figure x %.1f passes/s: %.2f%%\n",
                meter.passes, meter.seconds, meter.seconds > 0 ? meter.passes / meter.seconds : 0.0, meter.threadCpuMs,
                meter.share * 100, meter.seconds > 0 ? meter.passes / meter.seconds : 0.0,
                meter.seconds > 0 ? meter.passCpuUs * (meter.passes / meter.seconds) / 1e4 : 0.0);
    if (meter.xServerCpuMs >= 0)
        std::printf("  the X server over the same stretch: %.0f ms (%.2f%% of one core; all its clients' drawing)\n\n",
                    meter.xServerCpuMs, meter.seconds > 0 ? meter.xServerCpuMs / 10.0 / meter.seconds : 0.0);
    else
        std::printf("  the X server's time could not be read\n\n");

    std::printf("stop (40008 to idle) with the audio thread feeding at full speed: %zu stops, median %.1f ms, max "
                "%.1f ms; %d not idle after\n",
                stops.stopsMs.size(), Median(stops.stopsMs), Max(stops.stopsMs), stops.notIdle);
    std::string heldSummary;
    for (size_t i = 0; i < holdingNodes.size() && i < stops.heldStopsMs.size(); ++i) {
        const std::vector<double>& held = stops.heldStopsMs[i];
        std::printf("  stop during a PeerCast update to a node that %s: %zu stops, median %.1f ms, max %.1f ms\n",
                    holdingNodes[i].what.c_str(), held.size(), Median(held), Max(held));
        char pair[96];
        std::snprintf(pair, sizeof pair, " stop_%s_median_ms=%.1f stop_%s_max_ms=%.1f", holdingNodes[i].key.c_str(),
                      Median(held), holdingNodes[i].key.c_str(), Max(held));
        heldSummary += pair;
    }
    // Only the stops held by it reach this node: one connection each shows every update had begun.
    std::printf("  the never-reading node was connected to %zu times\n", deafNode.Connections().size());
    std::printf("  stop with the relay channel option on (peercast-yt stand-in): %zu stops, idle after median %.1f ms, "
                "max %.1f ms; channel ended after median %.1f ms, max %.1f ms\n",
                relayStops.stopsMs.size(), Median(relayStops.stopsMs), Max(relayStops.stopsMs),
                Median(relayStops.endedMs), Max(relayStops.endedMs));
    std::printf("  stop with recording on, audio at the player's rate: %zu stops, median %.1f ms, max %.1f ms; at full "
                "speed: median %.1f ms, max %.1f ms; %zu recordings%s%s\n",
                recorded.stops.stopsMs.size(), Median(recorded.stops.stopsMs), Max(recorded.stops.stopsMs),
                Median(recorded.fullSpeed.stopsMs), Max(recorded.fullSpeed.stopsMs), recorded.files,
                recorded.stops.error.empty() ? "" : "; ", recorded.stops.error.c_str());
    std::printf("  longest ModifySamples during the stops %.1f us, outside them %.1f us (%llu blocks)\n\n",
                stops.modifyMaxDuringStopsUs, stops.modifyMaxOutsideUs, static_cast<unsigned long long>(stops.blocks));

    const double fakeRatio = fake.floor.p50 > 0 ? fake.perBlock.p50 / fake.floor.p50 : 0.0;
    const double standInRatio = standIn.floor.p50 > 0 ? standIn.perBlock.p50 / standIn.floor.p50 : 0.0;
    const double wmaRatio = standInWma.floor.p50 > 0 ? standInWma.perBlock.p50 / standInWma.floor.p50 : 0.0;
    const bool ratioMet = fake.ran && fakeRatio <= 2;
    const bool stallMet = stalls.modify.over1ms == 0 && fakeStalls.modify.over1ms == 0;
    const bool meterMet = meter.ran && meter.share < 0.02;
    std::printf("targets: ModifySamples median within 2x the floor (fake runtime): %.2fx %s; no stall above 1 ms: "
                "%zu calls over 1 ms with the fake runtime, %zu with the stand-in (controls %zu and %zu) %s; "
                "meter under 2%% of one core: %.2f%% %s\n",
                fakeRatio, Verdict(ratioMet), fakeStalls.modify.over1ms,
                stalls.modify.over1ms, fakeStalls.control.over1ms, stalls.control.over1ms, Verdict(stallMet),
                meter.share * 100, Verdict(meterMet));

    std::printf("OMBREL_BENCH floor_median_ns=%.0f floor_mean_ns=%.0f fake_median_ns=%.0f fake_p99_ns=%.0f "
                "fake_floor_median_ns=%.0f fake_ratio=%.2f standin_median_ns=%.0f standin_p99_ns=%.0f "
                "standin_ratio=%.2f wma_median_ns=%.0f wma_p99_ns=%.0f wma_ratio=%.2f encode_ms_per_s=%.2f "
                "encode_resampled_ms_per_s=%.2f fake_stall_max_us=%.0f fake_stall_over_1ms=%zu stall_blocks=%zu "
                "stall_p50_ns=%.0f stall_p99_ns=%.0f stall_p999_ns=%.0f stall_max_us=%.0f stall_over_1ms=%zu "
                "control_max_us=%.0f control_over_1ms=%zu meter_pass_us=%.1f meter_share_pct=%.2f "
                "stop_median_ms=%.1f stop_max_ms=%.1f%s relay_stop_median_ms=%.1f relay_stop_max_ms=%.1f "
                "relay_ended_median_ms=%.1f relay_ended_max_ms=%.1f record_stop_median_ms=%.1f record_stop_max_ms=%.1f qpc_mhz=%.3f\n",
                floorMedian, floor.perBlock.mean, fake.perBlock.p50, fake.perBlock.p99, fake.floor.p50, fakeRatio,
                standIn.perBlock.p50, standIn.perBlock.p99, standInRatio, standInWma.perBlock.p50, standInWma.perBlock.p99,
                wmaRatio, encoding.msPerSecond, encoding.resampledMsPerSecond, fakeStalls.modify.max / 1e3,
                fakeStalls.modify.over1ms, stalls.blocks, stalls.modify.p50,
                stalls.modify.p99, stalls.modify.p999, stalls.modify.max / 1e3, stalls.modify.over1ms,
                stalls.control.max / 1e3, stalls.control.over1ms, meter.pass.p50 / 1e3, meter.share * 100,
                Median(stops.stopsMs), Max(stops.stopsMs), heldSummary.c_str(), Median(relayStops.stopsMs),
                Max(relayStops.stopsMs), Median(relayStops.endedMs), Max(relayStops.endedMs),
                Median(recorded.stops.stopsMs), Max(recorded.stops.stopsMs), clock.frequency / 1e6);
    ::WSACleanup();
    const bool allRan = fake.ran && standIn.ran && standInWma.ran && encoding.ran && fakeStalls.ran && stalls.ran && stops.ran && relayStops.ran && meter.ran;
    return allRan ? 0 : 1;
}

}  // namespace ombrel::test::bench

int main(int argc, char** argv) { return ombrel::test::bench::Main(argc, argv); }
