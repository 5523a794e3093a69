// The in-process fake runtime of the encoder tests with a writer whose samples cost what a
// runtime's must at least: AllocateSample hands out a buffer from a small pool and WriteSample
// copies the bytes once. Everything else goes to the fake's own writer unchanged, so the
// encoder is configured and started exactly as in its tests.
#pragma once

#include "encoder/RuntimeEntryPoints.h"

namespace ombrel::test::bench {

// The fake runtime's entry points with the copying writer; the fake runtime must be in place
// (fake::Runtime alive) while they are used.
ombrel::RuntimeEntryPoints CopyingRuntimeEntryPoints();

// Samples the copying writers have taken, and their bytes.
long long CopiedSamples();
long long CopiedBytes();
// Of those, the script stream's (titles and empty commands).
long long CopiedScripts();

}  // namespace ombrel::test::bench
