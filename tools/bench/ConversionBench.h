// The cost on the audio thread of converting one player block for a writer input that does
// not take it as it is (PcmConversion::Convert into the writer's sample), per layout.
#pragma once

#include <string>
#include <vector>

#include "tools/bench/Timing.h"

namespace ombrel::test::bench {

struct ConversionRow {
    std::string label;
    Distribution perBlock;
};

// blocks 576-frame blocks of each conversion, each timed on its own.
std::vector<ConversionRow> MeasureConversions(size_t blocks);

}  // namespace ombrel::test::bench
