// Asking the player, whatever kind of host it is: a request from a thread other than the one that
// owns the player's window is bounded, and an answer is a pointer or a version only where it can
// be one.
#pragma once

#include <windows.h>

#include <atomic>

namespace ombrel {

// How long a thread other than the player's window thread waits for one answer.
constexpr UINT kPlayerAnswerMs = 300;
// After an answer did not come in time, requests from other threads fail at once for this long, so
// that a hung host costs the main thread one bounded wait a second at most.
constexpr DWORD kPlayerQuietMs = 1000;

// Request (lParam) with its argument. On the player's window thread the send is direct; from any
// other thread it goes through SendMessageTimeout (SMTO_ABORTIFHUNG | SMTO_BLOCK) with the bound
// above. False when there is no window, the window did not answer in time, or the song worker was
// asked to stop; *answer is then 0.
bool AskPlayer(HWND player, WPARAM wParam, LPARAM request, LRESULT* answer);

// Whether a send from this thread goes straight to the window procedure (no bound needed).
bool OnPlayerThread(HWND player);

// The player's window belongs to this process: only then can an answer point at text we may read.
bool PlayerSharesProcess(HWND player);

// An answer that may be read as a pointer: at or above 0x10000 (0 and 1 answer unknown requests)
// from a window of this process.
bool IsPlayerPointer(HWND player, LRESULT answer);

// Request 0 as the real player answers it (0x2000..0x5FFF, 2.x to 5.x); 0 for any other answer.
LRESULT AskPlayerVersion(HWND player);

// Set by the song worker on its own thread: its request to stop, which makes AskPlayer fail at once,
// and the flag that says it is waiting for an answer (a stop need not wait for that).
struct PlayerAskWatch {
    const std::atomic<LONG>* stop = nullptr;
    std::atomic<LONG>* asking = nullptr;
};
void WatchPlayerAsks(const PlayerAskWatch& watch);

}  // namespace ombrel
