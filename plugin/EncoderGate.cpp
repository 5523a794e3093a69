#include "plugin/EncoderGate.h"

namespace ombrel {

void EncoderGate::Close() noexcept {
    encoder_.store(nullptr);
    // A caller inside is in the middle of one block, which takes well under a millisecond:
    // yield first, and sleep only if it takes longer (the audio thread may run at a higher
    // priority, which a yield alone would not give way to).
    for (int spins = 0; inside_.load() != 0; ++spins) ::Sleep(spins < 64 ? 0 : 1);
}

}  // namespace ombrel
