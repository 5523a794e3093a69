#include "tools/soak/SoakRun.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "plugin/BroadcastControl.h"
#include "tests/common/MessagePump.h"
#include "tools/soak/UiChurn.h"
#include "ui/MainWindow.h"
#include "ui/ResourceIds.h"
#include "win/UniqueAny.h"

namespace ombrel::test::soak {
namespace {

constexpr DWORD kTickMs = 20;
constexpr double kClockToleranceMs = 2.0;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// What the main thread does every tick, in whatever message loop it is in.
struct Ticker {
    PlayerHost& host;
    const BroadcastPlan& plan;
    const Feeder& feeder;
    UiChurn& churn;
    BroadcastResult& result;
    LARGE_INTEGER start;
    long announced = 0;  // tracks announced, the first one at the start included
    int nextSample = 1;
    LARGE_INTEGER last{};

    void Tick() {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        if (last.QuadPart) result.longestTickGapMs = std::max(result.longestTickGapMs, Seconds(last, now) * 1000.0);
        last = now;
        churn.Tick();
        const double fed = feeder.StreamSeconds();
        // Tracks due while this thread was held up (a sheet being built) start one after the other.
        const long track = static_cast<long>(fed / plan.trackSeconds);
        for (; announced <= track; ++announced) {
            host.Announce(announced);
            ++result.tracks;
        }
        if (plan.sampleSeconds > 0 && fed >= nextSample * plan.sampleSeconds) {
            result.samples.push_back({fed / 3600.0, Seconds(start, now), TakeCensus()});
            // Points passed while this thread was held up are not made up for.
            nextSample = static_cast<int>(fed / plan.sampleSeconds) + 1;
        }
    }
};

Ticker* g_ticker = nullptr;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (g_ticker) g_ticker->Tick();
}

}  // namespace

// The stop delivers everything the writer had, the packet its end flushes out included, before
// the end chunk: the last frame fed is the last frame heard.
bool BroadcastResult::Complete() const {
    const double missing = fedSeconds * 1000.0 - listener.endTimeMs;
    return listener.firstTimeMs == 0 && std::fabs(missing) <= kClockToleranceMs;
}

BroadcastResult RunBroadcast(PlayerHost& host, int port, const BroadcastPlan& plan) {
    BroadcastResult result;
    result.started = host.StartBroadcast(&result.startError);
    if (!result.started) return result;

    StreamListener listener(port, ListenMode::kVerify);
    if (!listener.Start() || !listener.WaitForHeader(10000)) {
        result.listener = listener.Report();
        host.Command(IDM_STOP_BROADCAST);
        return result;
    }

    Feeder feeder(host, listener, plan.feed);
    UiChurn churn(host, plan.uiEveryMs ? plan.uiEveryMs : INFINITE);
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    Ticker ticker{host, plan, feeder, churn, result, start};
    ticker.Tick();  // the first track is announced as the stream starts
    g_ticker = &ticker;
    win::UniqueThreadTimer timer(::SetTimer(nullptr, 0, kTickMs, OnTimer));
    // Without its thread nothing is fed: the run goes straight to the stop and its verdicts fail.
    const bool feeding = feeder.Start();
    while (feeding && !feeder.Done()) {
        Pump(kTickMs);
        if (plan.uiEveryMs) churn.Step();
    }
    feeder.Join();
    ::QueryPerformanceCounter(&end);
    timer.reset();
    g_ticker = nullptr;
    churn.Finish();
    // Stopped at once, with the listener still behind: the stop delivers what is queued.
    LARGE_INTEGER stopStart, stopEnd;
    ::QueryPerformanceCounter(&stopStart);
    host.Command(IDM_STOP_BROADCAST);
    ::QueryPerformanceCounter(&stopEnd);
    result.stopMs = Seconds(stopStart, stopEnd) * 1000.0;
    result.stopped = ombrel::IsBroadcasting() == 0;

    listener.WaitForFinish(10000);
    listener.Stop();
    result.listener = listener.Report();
    result.listenerCpuSeconds = listener.CpuSeconds();
    result.feederCpuSeconds = feeder.CpuSeconds();
    result.fedSeconds = feeder.StreamSeconds();
    result.blocks = feeder.Blocks();
    result.rateChanges = feeder.RateChanges();
    result.modifiedBlocks = feeder.ModifiedBlocks();
    result.countMismatches = feeder.CountMismatches();
    result.listenerLost = feeder.ListenerLost();
    result.wallSeconds = Seconds(start, end);
    result.waitedSeconds = feeder.WaitedSeconds();
    result.sheets = churn.SheetsOpened();
    result.windowsClosed = churn.WindowsClosed();
    result.cancelsRepeated = churn.CancelsRepeated();
    result.longestSheetMs = churn.LongestSheetMs();
    result.longestReopenMs = churn.LongestReopenMs();
    return result;
}

}  // namespace ombrel::test::soak
