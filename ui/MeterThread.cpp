#include "ui/MeterThread.h"

#include "plugin/PluginState.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

win::UniqueThread _hMeterThread;

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

// The peaks and the drawing pass come with the level meter (issue #7); the thread's life and
// pace are already the meter's.
DWORD WINAPI MeterThreadProc(LPVOID) {
    while (_fMeterRun) {
        ::Sleep(_fPlaying ? kMeterPeriodPlayingMs : kMeterPeriodIdleMs);
    }
    return 0;
}

}  // namespace ombrel
