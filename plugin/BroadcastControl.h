// Whether a broadcast runs. Read without a lock by the audio thread, the hooks and the timer.
#pragma once

#include <windows.h>

#include <atomic>

namespace ombrel {

extern std::atomic<LONG> _fBroadcasting;

inline LONG IsBroadcasting() { return _fBroadcasting.load(); }

}  // namespace ombrel
