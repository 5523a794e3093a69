// The four operations of the module record: everything the player ever calls.
#pragma once

#include "plugin/DspAbi.h"

namespace ombrel {

// Player's main thread.
int __cdecl Init(DspModule* module);
void __cdecl Config(DspModule* module);
void __cdecl Quit(DspModule* module);

// Player's audio thread, for every PCM block: a tap, never a filter.
int __cdecl ModifySamples(DspModule* module, short* samples, int count, int bitsPerSample,
                          int channels, int sampleRate);

}  // namespace ombrel
