// What the benchmark's sections share: a thread that plays the player's audio thread while
// the calling thread (the player's main thread) keeps dispatching its messages, the blocks of
// the test pattern, the module's ModifySamples as the player calls it, and the floor operation.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "plugin/DspModule.h"
#include "tests/common/PcmPattern.h"

namespace ombrel::test::bench {

constexpr int kBlockFrames = 576;
constexpr int kBlockBytes = kBlockFrames * 2 * 2;

// Runs body on a thread of its own; meanwhile this thread dispatches its messages and calls
// tick (if any) every few milliseconds. Returns when body has returned.
void RunWhilePumping(const std::function<void()>& body, const std::function<void()>& tick = nullptr);

// Consecutive blocks of the pattern, used round-robin.
class PatternBlocks {
public:
    explicit PatternBlocks(int count = 16);
    short* Block(uint64_t index) { return &samples_[(index % count_) * kBlockFrames * 2]; }

private:
    int count_;
    std::vector<short> samples_;
};

// The plug-in's ModifySamples, called through its module record as the player calls it.
inline int ModifyBlock(short* block, int rate = 44100) {
    DspModule& module = ombrel::PluginModule();
    return module.ModifySamples(&module, block, kBlockFrames, 16, 2, rate);
}

// The floor: copying one block as a tap must, and the meter's peak scan over the copy.
void FloorOperation(const short* block, short* copy);

}  // namespace ombrel::test::bench
