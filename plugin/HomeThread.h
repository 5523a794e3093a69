// The thread that ran Init. Its windows and its thread timer can be removed only there, while a
// host may call Quit on another thread: such work is handed to it through a message-only window.
#pragma once

#include <windows.h>

namespace ombrel {

// How long Quit on another thread waits for Init's thread to do its part.
constexpr DWORD kHomeThreadWaitMs = 2000;

// Init: makes the message-only window on the calling thread, which becomes the home thread.
void OpenHomeThread(HINSTANCE instance);

// Runs work on the home thread: at once when called there, otherwise through the home window,
// waiting at most ms (Init's thread may have ended, taking its windows and timer with it, or may
// not answer). False when the work did not run.
bool RunOnHomeThread(void (*work)(), DWORD ms);

// Quit, last: removes the home window (on the home thread, as RunOnHomeThread does) and its class.
void CloseHomeThread(HINSTANCE instance);

bool OnHomeThread();

}  // namespace ombrel
