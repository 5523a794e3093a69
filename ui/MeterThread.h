// The level meter's own thread: about thirty passes a second while the player plays.
#pragma once

#include <windows.h>

namespace ombrel {

constexpr DWORD kMeterPeriodPlayingMs = 33;
constexpr DWORD kMeterPeriodIdleMs = 250;

// Sets _fMeterRun and starts the thread.
void StartMeterThread();
// Waits without time limit for the thread, which ends once _fMeterRun is clear.
void JoinMeterThread();
bool MeterThreadRunning();

DWORD WINAPI MeterThreadProc(LPVOID);

// The two attenuations of one pass, in dB.
struct MeterReading {
    double left;
    double right;
};

// The first steps of a pass: zeroes the peaks while the player is not playing, then turns the
// peaks into attenuations.
MeterReading TakeMeterReading() noexcept;

// Passes made by every meter thread of the process so far (tests and measurements).
long MeterPassCount() noexcept;

}  // namespace ombrel
