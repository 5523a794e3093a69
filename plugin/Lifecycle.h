// The four operations of the module record: everything the player ever calls.
#pragma once

#include "plugin/DspAbi.h"

namespace ombrel {

// Init on the player's main thread, or whichever thread a host calls it on: that thread owns the
// main window and the timer. Quit may come on another thread; it hands what belongs to Init's
// thread to that thread, waiting a bounded time.
int __cdecl Init(DspModule* module);
void __cdecl Config(DspModule* module);
void __cdecl Quit(DspModule* module);

// Player's audio thread, for every PCM block: a tap, never a filter.
int __cdecl ModifySamples(DspModule* module, short* samples, int count, int bitsPerSample,
                          int channels, int sampleRate);

}  // namespace ombrel
