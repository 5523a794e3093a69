#include "tools/bench/ConversionBench.h"

#include <cstring>

#include "encoder/PcmConversion.h"

namespace ombrel::test::bench {

std::vector<ConversionRow> MeasureConversions(size_t blocks) {
    struct Case {
        const char* label;
        PcmLayout from, to;
    };
    const Case cases[] = {
        {"copy 16-bit stereo (taken as it is)", {2, 16}, {2, 16}},
        {"copy 24-bit stereo (taken as it is)", {2, 24}, {2, 24}},
        {"24-bit stereo to 16 bits", {2, 24}, {2, 16}},
        {"32-bit stereo to 16 bits", {2, 32}, {2, 16}},
        {"32-bit 6 channels to 16 bits", {6, 32}, {6, 16}},
        {"24-bit 6 channels folded to 16-bit stereo", {6, 24}, {2, 16}},
        {"32-bit 8 channels folded to 16-bit stereo", {8, 32}, {2, 16}},
    };
    constexpr INT32 kFrames = 576;
    std::vector<BYTE> in(kFrames * 8 * 4), out(kFrames * 8 * 4);
    uint32_t state = 1;
    for (BYTE& b : in) b = static_cast<BYTE>((state = state * 1103515245u + 12345u) >> 24);
    std::vector<ConversionRow> rows;
    for (const Case& c : cases) {
        PcmConversion plan;
        if (!plan.Plan(c.from, c.to)) continue;
        std::vector<uint32_t> ticks;
        ticks.reserve(blocks);
        for (size_t i = 0; i < blocks; ++i) {
            const int64_t start = Now();
            plan.Convert(in.data(), kFrames, out.data());
            ticks.push_back(static_cast<uint32_t>(Now() - start));
        }
        rows.push_back({c.label, Summarise(std::move(ticks))});
    }
    return rows;
}

}  // namespace ombrel::test::bench
