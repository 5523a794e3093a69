// The 2000 ms thread timer that Init starts on the player's main thread: the playing check,
// and while a broadcast plays, the title refresh in a cycle of eight ticks.
#pragma once

#include <windows.h>

namespace ombrel {

constexpr UINT kSongTimerPeriodMs = 2000;
constexpr DWORD kSongTimerCycle = 8;

// Starts and kills the timer; it runs on the thread that starts it, when that thread
// dispatches messages.
void StartSongTimer();
void StopSongTimer();
bool SongTimerRunning();

// Position in the cycle: tick 0 resends the title (with song detection on), the others send
// an empty script command. Kept across broadcasts.
DWORD SongTimerTick();
void SetSongTimerTick(DWORD tick);

VOID CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);

}  // namespace ombrel
