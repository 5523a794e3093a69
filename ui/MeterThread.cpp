#include "ui/MeterThread.h"

#include <atomic>

#include "plugin/PluginState.h"
#include "ui/LevelMeter.h"
#include "ui/MeterScale.h"
#include "win/ExceptionFirewall.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

win::UniqueThread _hMeterThread;
std::atomic<long> _meterPasses{0};

}  // namespace

void StartMeterThread() {
    _fMeterRun = 1;
    _hMeterThread.reset(::CreateThread(nullptr, 0, MeterThreadProc, nullptr, 0, nullptr));
}

void JoinMeterThread() {
    if (_hMeterThread) ::WaitForSingleObject(_hMeterThread.get(), INFINITE);
    _hMeterThread.reset();
}

bool MeterThreadRunning() { return static_cast<bool>(_hMeterThread); }

MeterReading TakeMeterReading() noexcept {
    if (!_fPlaying) {
        _peakLevels.left.store(0, std::memory_order_relaxed);
        _peakLevels.right.store(0, std::memory_order_relaxed);
    }
    const LONG left = _peakLevels.left.load(std::memory_order_relaxed);
    const LONG right = _peakLevels.right.load(std::memory_order_relaxed);
    return {PeakAttenuation(left), PeakAttenuation(right)};
}

long MeterPassCount() noexcept { return _meterPasses.load(); }

// The flag is tested before the first pass and after each sleep. A pass that fails leaves the
// control as it was; the next one tries again.
DWORD WINAPI MeterThreadProc(LPVOID) {
    while (_fMeterRun) {
        win::Firewall([] {
            const MeterReading reading = TakeMeterReading();
            DrawMeter(reading.left, reading.right);
        });
        ++_meterPasses;
        ::Sleep(_fPlaying ? kMeterPeriodPlayingMs : kMeterPeriodIdleMs);
    }
    return 0;
}

}  // namespace ombrel
