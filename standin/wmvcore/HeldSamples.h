// Samples of the streams the writer multiplexes as they come (script commands, uncompressed
// streams) that arrive ahead of what a compressed stream's encoding thread has delivered. The
// runtime's writer interleaves its streams by time, within its sync tolerance, so its packets
// go out in send-time order; the stand-in holds such samples here until the encoded stream has
// caught up with them. Without the hold, a caption written while the encoder is a second
// behind would go out in a packet ahead of that second of audio, and a listener joining there
// would start its stream time a second late.
#pragma once

#include <windows.h>

#include <vector>

#include "standin/wmvcore/SlotRing.h"

namespace wmstandin {

class HeldSamples {
public:
    // More than this many samples held means the encoded stream is not catching up at all: the
    // oldest then goes out as it is rather than the hold growing without end.
    static constexpr size_t kMaxHeld = 256;

    struct Sample {
        WORD stream = 0;
        LONGLONG time = 0;  // 100-ns units
        std::vector<BYTE> bytes;
        bool keyFrame = false;
    };

    // Keeps a copy after those held before it: one stream's samples keep their order. A slot
    // keeps its room for the next sample, so a steady stream allocates nothing here.
    void Hold(WORD stream, LONGLONG time, const BYTE* data, DWORD size, bool keyFrame);
    bool Empty() const noexcept { return samples_.Empty(); }
    size_t Count() const noexcept { return samples_.Size(); }
    const Sample& Oldest() noexcept { return samples_.Front(); }
    void DropOldest() noexcept { samples_.PopFront(); }
    void Clear() noexcept {
        while (!samples_.Empty()) samples_.PopFront();
    }

private:
    SlotRing<Sample> samples_;
};

}  // namespace wmstandin
