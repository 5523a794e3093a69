// The 2000 ms thread timer that Init starts on the player's main thread.
#pragma once

#include <windows.h>

namespace ombrel {

constexpr UINT kSongTimerPeriodMs = 2000;

// Starts and kills the timer; it runs on the thread that starts it, when that thread
// dispatches messages.
void StartSongTimer();
void StopSongTimer();
bool SongTimerRunning();

VOID CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);

}  // namespace ombrel
