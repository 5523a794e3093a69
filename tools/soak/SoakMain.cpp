// The soak run: a long broadcast simulated faster than real time in one process. The plug-in
// is brought up by the player stand-in's host, broadcasts through the runtime stand-in
// (wmvcore.dll beside this program) to a verifying listener on loopback, follows a track every
// three minutes of stream time with a stand-in PeerCast node answering, changes the sample
// rate every hour, and has its settings sheet and main window opened and closed now and then.
// The report compares the process before and after: private bytes, threads and the live
// owners of every RAII wrapper kind. Exit code 0 only when the audio was continuous and
// nothing was left behind.
//
//   ombrel_soak.exe [--hours H] [--track-seconds S] [--rate-hours R] [--lead-ms MS]
//                   [--ui-every-ms MS] [--private-limit-mb MB] [--warmup-seconds S]
#include <winsock.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "tests/common/Loopback.h"
#include "tests/common/StandInNode.h"
#include "tools/soak/Census.h"
#include "tools/soak/PlayerHost.h"
#include "tools/soak/SoakRun.h"

namespace ombrel::test::soak {
namespace {

struct Options {
    double hours = 24;
    double trackSeconds = 180;
    double rateHours = 1;
    double leadMs = 1500;
    DWORD uiEveryMs = 3000;
    double privateLimitMb = 4;
    double warmupSeconds = 60;
};

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) return false;
        const double value = std::atof(argv[++i]);
        if (name == "--hours") options->hours = value;
        else if (name == "--track-seconds") options->trackSeconds = value;
        else if (name == "--rate-hours") options->rateHours = value;
        else if (name == "--lead-ms") options->leadMs = value;
        else if (name == "--ui-every-ms") options->uiEveryMs = static_cast<DWORD>(value);
        else if (name == "--private-limit-mb") options->privateLimitMb = value;
        else if (name == "--warmup-seconds") options->warmupSeconds = value;
        else return false;
    }
    return options->hours > 0 && options->trackSeconds > 0 && options->rateHours > 0 && options->leadMs > 0;
}

std::string Grouped(unsigned long long value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
    return digits;
}

std::string Kib(SIZE_T bytes) { return Grouped((bytes + 512) / 1024); }

int CountLines(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return 0;
    int lines = 0;
    for (int c; (c = std::fgetc(file)) != EOF;)
        if (c == '\n') ++lines;
    std::fclose(file);
    return lines;
}

void PrintBroadcast(const char* label, const BroadcastResult& r) {
    const ListenerReport& l = r.listener;
    std::printf("%s: %.3f h of stream time in %.1f s of wall time (%.0fx real time; the feeder waited %.1f s for "
                "the listener; processor time: feeder %.1f s, listener %.1f s)\n",
                label, r.fedSeconds / 3600.0, r.wallSeconds, r.wallSeconds > 0 ? r.fedSeconds / r.wallSeconds : 0.0,
                r.waitedSeconds, r.feederCpuSeconds, r.listenerCpuSeconds);
    std::printf("  blocks %s, tracks %d, rate changes %d, sheets opened %d, main window closed %d, "
                "cancels pressed again %d, stop %.1f ms\n",
                Grouped(r.blocks).c_str(), r.tracks, r.rateChanges, r.sheets, r.windowsClosed, r.cancelsRepeated,
                r.stopMs);
    std::printf("  blocks changed by the plug-in %s, counts not handed back %s; main thread: longest gap between "
                "ticks %.0f ms, longest sheet %lu ms, longest reopening of the main window %lu ms\n",
                Grouped(r.modifiedBlocks).c_str(), Grouped(r.countMismatches).c_str(), r.longestTickGapMs,
                static_cast<unsigned long>(r.longestSheetMs), static_cast<unsigned long>(r.longestReopenMs));
    std::printf("  listener: %s bytes, %s packets, %s audio objects, %s frames at %u Hz; first at %u ms, last "
                "frame ends at %.1f ms (fed %.1f ms)\n",
                Grouped(l.bytes).c_str(), Grouped(l.packets).c_str(), Grouped(l.objects).c_str(),
                Grouped(l.frames).c_str(), l.sampleRate, l.firstTimeMs, l.endTimeMs, r.fedSeconds * 1000.0);
    std::printf("  listener: end chunk %s (the last chunk: %s, %s bytes after it), closed without it %s, "
                "location gaps %s, time errors %s (largest deviation %.2f ms), step errors %s (largest step %d), "
                "fragment errors %s, parse errors %s%s%s\n",
                l.ended ? "yes" : "no", l.EndedLast() ? "yes" : "NO", Grouped(l.afterEnd).c_str(),
                l.closedEarly ? "yes" : "no", Grouped(l.locationGaps).c_str(),
                Grouped(l.timeErrors).c_str(), l.maxTimeDeviationMs, Grouped(l.stepErrors).c_str(), l.maxStep,
                Grouped(l.fragmentErrors).c_str(), Grouped(l.parseErrors).c_str(),
                l.firstError.empty() ? "" : "; first: ", l.firstError.c_str());
    std::printf("  audio continuous: %s; complete from the first frame to the last: %s\n",
                l.Continuous() ? "yes" : "NO", r.Complete() ? "yes" : "NO");
}

void PrintCensusTable(const std::vector<std::pair<const char*, Census>>& columns) {
    std::printf("%-20s", "");
    for (const auto& column : columns) std::printf("%16s", column.first);
    std::printf("\n%-20s", "private KiB");
    for (const auto& column : columns) std::printf("%16s", Kib(column.second.privateBytes).c_str());
    std::printf("\n%-20s", "threads");
    for (const auto& column : columns) std::printf("%16d", column.second.threads);
    std::printf("\n%-20s", "working set KiB");
    for (const auto& column : columns) std::printf("%16s", Kib(column.second.workingSet).c_str());
    std::printf("\n%-20s", "PrivateUsage KiB");
    for (const auto& column : columns) std::printf("%16s", Kib(column.second.privateUsage).c_str());
    for (size_t kind = 0; kind < columns.front().second.live.size(); ++kind) {
        std::printf("\n%-20s", columns.front().second.live[kind].name);
        for (const auto& column : columns) std::printf("%16ld", column.second.live[kind].count);
    }
    std::printf("\n");
}

}  // namespace

int Main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: ombrel_soak [--hours H] [--track-seconds S] [--rate-hours R] [--lead-ms MS] "
                     "[--ui-every-ms MS] [--private-limit-mb MB] [--warmup-seconds S]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
        std::fprintf(stderr, "no Windows sockets\n");
        return 2;
    }

    int failures = 0;
    auto check = [&](bool ok, const std::string& what) {
        std::printf("  [%s] %s\n", ok ? "ok" : "FAILED", what.c_str());
        if (!ok) ++failures;
    };

    {
        SettingsFileGuard settingsFile;
        PlayerHost host("Ombrel soak player");
        ombrel::test::StandInNode node(ombrel::test::NodeBehaviour::AnswerAndClose);
        std::string error;
        if (!host.WriteTracks(8, &error) || !node.listening()) {
            std::fprintf(stderr, "set-up failed: %s\n", error.empty() ? "no PeerCast stand-in" : error.c_str());
            return 2;
        }
        const Census beforeInit = TakeCensus();
        if (!host.Init(&error)) {
            std::fprintf(stderr, "Init failed: %s\n", error.c_str());
            return 2;
        }
        const int port = FreeLoopbackPort();
        ombrel::_settings.extra._dwPort = static_cast<DWORD>(port);
        ombrel::_settings.extra._dwMaxClient = 5;
        ombrel::_settings.extra._fPlayLog = TRUE;
        const std::string playLog = host.Folder() + "\\play.log";
        ombrel::_settings.extra._cPlayLog = playLog;
        ombrel::_settings.peerCast._fEnable = TRUE;
        ombrel::_settings.peerCast._dwPort = static_cast<DWORD>(node.port());
        ombrel::_settings.peerCast._cChannel = "soak";
        ombrel::_inputFormat.scriptEnabled = TRUE;
        // "Windows Media Audio 9.2 Lossless": the listener checks the pattern frame by frame.
        ombrel::_encoderSettings.audio.codecIndex = 2;
        ombrel::_encoderSettings.audio.formatIndex = 0;
        const Census afterInit = TakeCensus();

        std::printf("Ombrel soak: %.2f h of stream time, a track every %.0f s, the sample rate changing every %.2f h "
                    "(44100, 48000, 32000 Hz), the sheet or the main window every %lu ms of wall time\n",
                    options.hours, options.trackSeconds, options.rateHours,
                    static_cast<unsigned long>(options.uiEveryMs));

        BroadcastPlan warmup;
        warmup.feed.streamSeconds = options.warmupSeconds;
        warmup.feed.rates = {44100, 48000};
        warmup.feed.rateChangeSeconds = options.warmupSeconds / 2;
        warmup.feed.maxLeadMs = options.leadMs;
        warmup.trackSeconds = options.warmupSeconds / 4;
        warmup.uiEveryMs = 500;
        const BroadcastResult first = RunBroadcast(host, port, warmup);
        PrintBroadcast("warm-up broadcast", first);
        Sleep(300);
        const Census start = TakeSettledCensus();

        BroadcastPlan plan;
        plan.feed.streamSeconds = options.hours * 3600.0;
        plan.feed.rates = {44100, 48000, 32000};
        plan.feed.rateChangeSeconds = options.rateHours * 3600.0;
        plan.feed.maxLeadMs = options.leadMs;
        plan.trackSeconds = options.trackSeconds;
        plan.uiEveryMs = options.uiEveryMs;
        // Every hour of stream time, or ten times in a shorter run.
        plan.sampleSeconds = std::min(3600.0, plan.feed.streamSeconds / 10);
        const BroadcastResult run = RunBroadcast(host, port, plan);
        PrintBroadcast("soak broadcast", run);
        Sleep(300);
        const Census end = TakeSettledCensus();
        const int logLines = CountLines(playLog);
        const size_t peerCastUpdates = node.Connections().size();

        host.Quit();
        const Census afterQuit = TakeCensus();
        node.Stop();

        if (!run.samples.empty()) {
            std::printf("while broadcasting:\n  %8s %10s %14s %8s\n", "hour", "wall s", "private KiB", "threads");
            for (const StreamSample& sample : run.samples)
                std::printf("  %8.2f %10.1f %14s %8d\n", sample.streamHours, sample.wallSeconds,
                            Kib(sample.census.privateBytes).c_str(), sample.census.threads);
        }
        PrintCensusTable({{"before Init", beforeInit},
                          {"after Init", afterInit},
                          {"start", start},
                          {"end", end},
                          {"after Quit", afterQuit}});
        std::printf("play log lines %d (tracks announced %d), PeerCast updates %u\n", logLines,
                    first.tracks + run.tracks, static_cast<unsigned>(peerCastUpdates));

        const double growthMb =
            (static_cast<double>(end.privateBytes) - static_cast<double>(start.privateBytes)) / (1024.0 * 1024.0);
        std::printf("verdict:\n");
        check(first.started && run.started, "both broadcasts started" +
                                                (run.startError.empty() ? std::string() : ": " + run.startError));
        check(first.stopped && run.stopped, "both broadcasts stopped by the stop command");
        check(!run.listenerLost && run.fedSeconds >= options.hours * 3600.0 - 1,
              "the whole stream time was fed with the listener connected");
        check(first.listener.Continuous() && run.listener.Continuous(),
              "the listener's audio was continuous (no gap, no repeated block, stream clock = sample count)");
        check(first.Complete() && run.Complete(), "the listener got every frame fed, from the first to the last");
        check(first.listener.EndedLast() && run.listener.EndedLast(),
              "each stream ended with the end chunk, and nothing came after it");
        check(run.modifiedBlocks == 0 && run.countMismatches == 0 && first.modifiedBlocks == 0,
              "every block came back unchanged with its count");
        const std::vector<std::string> leftover = LiveDifferences(start, end);
        std::string leftoverText;
        for (const std::string& item : leftover) leftoverText += " " + item;
        check(leftover.empty(), "live owners at the end as at the start" + leftoverText);
        check(end.threads == start.threads, "threads at the end as at the start (" + std::to_string(start.threads) +
                                                 " -> " + std::to_string(end.threads) + ")");
        char growth[96];
        std::snprintf(growth, sizeof growth, "private bytes grew %.2f MiB (bound %.0f MiB)", growthMb,
                      options.privateLimitMb);
        check(growthMb <= options.privateLimitMb, growth);
        // A leak the stop undoes (a queue that only grows) shows while broadcasting: from the
        // second census to the one before the last (the feeder may have ended by the last), the
        // process stays within the bound.
        if (run.samples.size() >= 3) {
            SIZE_T low = run.samples[1].census.privateBytes;
            SIZE_T high = low;
            for (size_t i = 1; i < run.samples.size() - 1; ++i) {
                low = std::min(low, run.samples[i].census.privateBytes);
                high = std::max(high, run.samples[i].census.privateBytes);
            }
            const double spreadMb = (static_cast<double>(high) - static_cast<double>(low)) / (1024.0 * 1024.0);
            char spread[128];
            std::snprintf(spread, sizeof spread,
                          "private bytes while broadcasting varied %.2f MiB from the second census on (bound %.0f MiB)",
                          spreadMb, options.privateLimitMb);
            check(spreadMb <= options.privateLimitMb, spread);
        }
        const std::vector<std::string> afterQuitLeft = LiveDifferences(beforeInit, afterQuit);
        std::string quitText;
        for (const std::string& item : afterQuitLeft) quitText += " " + item;
        check(afterQuitLeft.empty(), "live owners after Quit as before Init" + quitText);
        // Each broadcast starts while the host plays: its first line is the track playing then.
        check(logLines == 2 + first.tracks + run.tracks,
              "one play log line per track: the one playing at each start, then each announced");

        std::printf("OMBREL_SOAK hours=%.3f wall_s=%.1f speedup=%.0f blocks=%llu tracks=%d rate_changes=%d "
                    "listener_bytes=%llu listener_frames=%llu continuous=%d complete=%d stop_ms=%.1f "
                    "private_start_kib=%s private_end_kib=%s threads_start=%d threads_end=%d live_diff=%u "
                    "result=%s\n",
                    run.fedSeconds / 3600.0, run.wallSeconds,
                    run.wallSeconds > 0 ? run.fedSeconds / run.wallSeconds : 0,
                    static_cast<unsigned long long>(run.blocks), run.tracks, run.rateChanges,
                    static_cast<unsigned long long>(run.listener.bytes),
                    static_cast<unsigned long long>(run.listener.frames), run.listener.Continuous() ? 1 : 0,
                    run.Complete() ? 1 : 0, run.stopMs, Kib(start.privateBytes).c_str(),
                    Kib(end.privateBytes).c_str(), start.threads, end.threads, static_cast<unsigned>(leftover.size()),
                    failures == 0 ? "pass" : "fail");
    }
    ::WSACleanup();
    return failures == 0 ? 0 : 1;
}

}  // namespace ombrel::test::soak

int main(int argc, char** argv) { return ombrel::test::soak::Main(argc, argv); }
