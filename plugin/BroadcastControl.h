// The owner of the one live encoder of a running broadcast.
#pragma once

#include <windows.h>

#include <atomic>

#include "encoder/LiveEncoder.h"
#include "plugin/EncoderGate.h"
#include "win/CriticalSection.h"

namespace ombrel {

// 1 from the end of a successful start until the beginning of a stop. Read without a lock by
// the audio thread, the hooks, the timer and the song worker.
extern std::atomic<LONG> _fBroadcasting;

inline LONG IsBroadcasting() { return _fBroadcasting.load(); }

// Main thread, only while idle: creates, configures and starts the encoder, then the song
// worker. A failure is shown in a message box and leaves the plug-in idle.
void StartBroadcast();

// Main thread: flag off, song worker ended, encoder stopped and released.
void StopBroadcast();

// Lends the encoder for the call in progress: no reference is added, none may be released.
// E_INVALIDARG without a place for the answer, E_FAIL while not broadcasting.
HRESULT GetEncoder(LiveEncoder** encoder);

// The audio thread's way to the encoder (AudioTap.h): open exactly while broadcasting.
EncoderGate& BroadcastEncoderGate();

// Held by whoever borrows the encoder for a script command and by the stop while it takes the
// encoder away; never held while waiting on anything else.
win::CriticalSection& ScriptEncoderLock();

// Where StartBroadcast gets its encoder; WMLiveCreateInterface unless a test put another
// in its place. Returns the one it replaces. Only while idle.
using EncoderFactory = HRESULT (*)(LiveEncoder** encoder);
EncoderFactory SetEncoderFactory(EncoderFactory factory);

}  // namespace ombrel
