#include "tools/bench/MeterBench.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <iterator>
#include <set>
#include <vector>

#include "plugin/PluginState.h"
#include "tests/common/MessagePump.h"
#include "tools/bench/BenchSupport.h"
#include "ui/LevelMeter.h"
#include "ui/MainWindow.h"
#include "ui/MeterThread.h"
#include "ui/ResourceIds.h"
#include "win/UniqueAny.h"

namespace ombrel::test::bench {
namespace {

constexpr DWORD kPlayingRefreshMs = 4500;  // the 2000 ms timer asks the player at most this late

std::set<DWORD> ThreadIds() {
    std::set<DWORD> ids;
    win::UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL ok = ::Thread32First(snapshot.get(), &entry); ok; ok = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == self) ids.insert(entry.th32ThreadID);
    return ids;
}

// Kernel and user time of a thread, in 100-ns units.
double ThreadTime(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    auto value = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return value(kernel) + value(user);
}

// Processor time of the X server behind DISPLAY so far, in ms, from its lock file and
// /proc (the Unix root is drive Z: under Wine); -1 when either cannot be read.
double XServerCpuMs() {
    char display[64] = "";
    if (!::GetEnvironmentVariableA("DISPLAY", display, sizeof display)) return -1;
    const char* colon = std::strchr(display, ':');
    if (!colon) return -1;
    const int number = std::atoi(colon + 1);
    char path[128];
    std::snprintf(path, sizeof path, "Z:\\tmp\\.X%d-lock", number);
    std::FILE* lock = std::fopen(path, "rb");
    if (!lock) return -1;
    long pid = 0;
    const int read = std::fscanf(lock, " %ld", &pid);
    std::fclose(lock);
    if (read != 1 || pid <= 0) return -1;
    std::snprintf(path, sizeof path, "Z:\\proc\\%ld\\stat", pid);
    std::FILE* stat = std::fopen(path, "rb");
    if (!stat) return -1;
    char text[1024] = "";
    const size_t got = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    text[got] = '\0';
    // After the name in parentheses: state, then eleven fields, then user and system time.
    const char* at = std::strrchr(text, ')');
    if (!at) return -1;
    unsigned long long user = 0, system = 0;
    if (std::sscanf(at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &user, &system) != 2)
        return -1;
    return (user + system) * 10.0;  // clock ticks of 10 ms
}

bool WaitForPlaying(LONG wanted) {
    const DWORD start = ::GetTickCount();
    while (ombrel::_fPlaying.load() != wanted) {
        if (::GetTickCount() - start > kPlayingRefreshMs) return false;
        Pump(20);
    }
    return true;
}

// The player's audio thread in real time: a block every 576 frames at 44.1 kHz.
class RealTimeAudio {
public:
    ~RealTimeAudio() { Stop(); }
    void Start() { thread_.reset(::CreateThread(nullptr, 0, &RealTimeAudio::Main, this, 0, nullptr)); }
    void Stop() {
        stop_ = true;
        if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }

private:
    static DWORD WINAPI Main(void* self) {
        static_cast<RealTimeAudio*>(self)->Run();
        return 0;
    }
    void Run() {
        PatternBlocks pattern;
        const double ticksPerBlock = TicksPerSecond() * kBlockFrames / 44100.0;
        const int64_t start = Now();
        for (uint64_t i = 0; !stop_; ++i) {
            const int64_t due = start + static_cast<int64_t>(i * ticksPerBlock);
            const int64_t now = Now();
            if (due > now) ::Sleep(static_cast<DWORD>(TicksToMs(static_cast<double>(due - now))));
            ModifyBlock(pattern.Block(i));
        }
    }
    std::atomic<bool> stop_{false};
    win::UniqueThread thread_;
};

}  // namespace

MeterResult MeasureMeter(soak::PlayerHost& host, int loopPasses, DWORD threadSeconds) {
    MeterResult result;
    HWND meter = ::GetDlgItem(ombrel::MainWindowHandle(), IDC_LEVEL_METER);
    RECT client{};
    if (!meter || !::GetClientRect(meter, &client)) {
        result.error = "no meter control";
        return result;
    }
    result.width = client.right;
    result.height = client.bottom;

    // The loop of passes, with the meter thread idling at 250 ms.
    host.SetPlaying(false);
    WaitForPlaying(0);
    std::vector<uint32_t> ticks(static_cast<size_t>(loopPasses));
    double cpu = 0;
    RunWhilePumping([&] {
        const double before = ThreadTime(::GetCurrentThread());
        for (int i = 0; i < loopPasses; ++i) {
            // Bars of every height, the full one with its red segment included.
            const double left = (i % 25);
            const double right = ((i * 7) % 25);
            const int64_t t0 = Now();
            ombrel::DrawMeter(left, right);
            ticks[i] = static_cast<uint32_t>(Now() - t0);
        }
        cpu = ThreadTime(::GetCurrentThread()) - before;
    });
    result.pass = Summarise(std::move(ticks));
    result.passCpuUs = cpu / 10.0 / loopPasses;

    // The meter thread itself, started again so its handle is known, while the player plays.
    host.SetPlaying(true);
    if (!WaitForPlaying(1)) {
        result.error = "the plug-in did not see the player playing";
        return result;
    }
    ombrel::_fMeterRun = 0;
    ombrel::JoinMeterThread();
    const std::set<DWORD> before = ThreadIds();
    ombrel::StartMeterThread();
    const std::set<DWORD> after = ThreadIds();
    std::vector<DWORD> started;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(started));
    if (started.size() != 1) {
        result.error = "could not tell the meter thread from " + std::to_string(started.size()) + " new threads";
        return result;
    }
    win::UniqueThread thread(::OpenThread(THREAD_QUERY_INFORMATION, FALSE, started[0]));
    if (!thread) {
        result.error = "cannot open the meter thread";
        return result;
    }
    result.threadFound = true;
    RealTimeAudio audio;
    audio.Start();
    Pump(500);
    const double cpuBefore = ThreadTime(thread.get());
    const double xBefore = XServerCpuMs();
    const long passesBefore = ombrel::MeterPassCount();
    const int64_t start = Now();
    Pump(threadSeconds * 1000);
    const double cpuAfter = ThreadTime(thread.get());
    const double xAfter = XServerCpuMs();
    if (xBefore >= 0 && xAfter >= 0) result.xServerCpuMs = xAfter - xBefore;
    result.passes = ombrel::MeterPassCount() - passesBefore;
    result.seconds = TicksToMs(static_cast<double>(Now() - start)) / 1e3;
    audio.Stop();
    result.threadCpuMs = (cpuAfter - cpuBefore) / 1e4;
    result.share = result.seconds > 0 ? result.threadCpuMs / 1e3 / result.seconds : 0;
    result.ran = true;
    return result;
}

}  // namespace ombrel::test::bench
