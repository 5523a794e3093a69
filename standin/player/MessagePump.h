// Message pumping for the thread that plays the player's main thread (tests and the executable).
#pragma once

#include <windows.h>

#include <functional>

namespace standin {

enum class PumpResult { Done, TimedOut, QuitPosted };

// Dispatches this thread's messages for ms milliseconds.
PumpResult PumpFor(DWORD ms);

// Dispatches messages until done() is true (checked after every message and at least every
// few milliseconds) or timeoutMs passes. A WM_QUIT is put back for the caller's own loop.
PumpResult PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Waits for handle while answering messages other threads send to this one (and nothing else,
// so no posted message is handled out of turn). True when the handle was signalled.
bool WaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs);

}  // namespace standin
