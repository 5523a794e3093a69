// Waiting on the player's main thread without leaving other threads' sends unanswered.
#pragma once

#include <windows.h>

namespace ombrel {

// Waits without time limit until handle is signalled. Messages that other threads send to
// this thread are answered meanwhile (a worker may be waiting for the player's window to
// answer it); posted messages stay queued, so no timer or command runs out of turn.
void WaitAnsweringSentMessages(HANDLE handle);

}  // namespace ombrel
