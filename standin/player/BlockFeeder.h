// Hands one PCM block to the DSP host and checks what came back.
#pragma once

#include <cstdint>
#include <vector>

#include "standin/player/DspHost.h"
#include "standin/player/Statistics.h"
#include "standin/player/WavFormat.h"

namespace standin {

class BlockFeeder {
public:
    BlockFeeder(DspHost& host, Statistics& stats, bool verify)
        : host_(host), stats_(stats), verify_(verify) {}

    // block holds frames frames; it has room for twice as many, as the player's buffer does.
    void Feed(std::vector<uint8_t>& block, uint32_t frames, const WavFormat& format);

private:
    DspHost& host_;
    Statistics& stats_;
    bool verify_;
    std::vector<uint8_t> copy_;
};

}  // namespace standin
