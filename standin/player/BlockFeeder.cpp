#include "standin/player/BlockFeeder.h"

#include <cstring>

namespace standin {

void BlockFeeder::Feed(std::vector<uint8_t>& block, uint32_t frames, const WavFormat& format) {
    const size_t bytes = size_t(frames) * format.BlockAlign();
    if (verify_) copy_.assign(block.begin(), block.begin() + bytes);
    const int result = host_.ModifySamples(block.data(), int(frames), format.bitsPerSample,
                                           format.channels, int(format.sampleRate));
    const bool mismatch = result != int(frames);
    const bool modified = verify_ && std::memcmp(copy_.data(), block.data(), bytes) != 0;
    stats_.RecordBlock(format, frames, mismatch, modified);
}

}  // namespace standin
