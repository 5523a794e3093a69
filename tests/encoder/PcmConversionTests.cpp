// The conversion of the player's PCM for a writer input that does not take it as it is: which
// plans exist, the copy bit for bit, every width to 16 bits by truncation, and the fold of
// more channels to stereo, which can neither clip nor overflow.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "encoder/PcmConversion.h"

namespace ombrel::test {
namespace {

// Little-endian samples of a width from signed values on that width's scale (8-bit: unsigned).
std::vector<BYTE> Samples(INT32 bits, const std::vector<int64_t>& values) {
    std::vector<BYTE> out;
    for (int64_t v : values) {
        if (bits == 8) v += 128;
        for (INT32 b = 0; b < bits / 8; ++b) out.push_back(static_cast<BYTE>(v >> (8 * b)));
    }
    return out;
}

std::vector<int16_t> Convert(const PcmConversion& plan, const std::vector<BYTE>& in, INT32 frames) {
    std::vector<BYTE> out(static_cast<size_t>(plan.OutputBytes(frames)) + 1, 0xEE);
    plan.Convert(in.data(), frames, out.data());
    EXPECT_EQ(0xEE, out.back()) << "written past the output";
    std::vector<int16_t> values(out.size() / 2);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int16_t>(out[2 * i] | out[2 * i + 1] << 8);
    return values;
}

TEST(PcmConversion, PlansOnlyCopiesWidthChangesAndFoldsToStereo) {
    struct Row {
        PcmLayout from, to;
        bool planned;
    };
    const Row rows[] = {
        {{2, 24}, {2, 24}, true},   // taken as it is
        {{6, 32}, {6, 32}, true},
        {{2, 24}, {2, 16}, true},   // narrower samples
        {{1, 32}, {1, 16}, true},
        {{6, 24}, {6, 16}, true},
        {{6, 32}, {2, 16}, true},   // folded to stereo
        {{3, 8}, {2, 16}, true},
        {{2, 16}, {2, 24}, false},  // never wider
        {{2, 24}, {1, 16}, false},  // never to mono
        {{6, 24}, {2, 24}, false},  // a fold always ends in 16 bits
        {{9, 16}, {2, 16}, false},  // more channels than the plug-in knows the order of
        {{2, 20}, {2, 16}, false},
    };
    for (const Row& row : rows) {
        PcmConversion plan;
        EXPECT_EQ(row.planned, plan.Plan(row.from, row.to))
            << row.from.channels << "x" << row.from.bits << " -> " << row.to.channels << "x" << row.to.bits;
    }
}

TEST(PcmConversion, ACopyIsBitExactInEveryLayout) {
    for (INT32 bits : {8, 16, 24, 32}) {
        for (INT32 channels = 1; channels <= 8; ++channels) {
            PcmConversion plan;
            ASSERT_TRUE(plan.Plan({channels, bits}, {channels, bits}));
            ASSERT_TRUE(plan.IsCopy());
            std::vector<BYTE> in(static_cast<size_t>(channels) * bits / 8 * 5);
            for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<BYTE>(i * 37 + 11);
            std::vector<BYTE> out(in.size());
            plan.Convert(in.data(), 5, out.data());
            EXPECT_EQ(in, out) << channels << " channels, " << bits << " bits";
        }
    }
}

// Narrowing keeps the top 16 bits: truncation, toward minus infinity. It is one shift, cannot
// overflow at full scale as rounding up would, and gives 16-bit audio carried in a wider
// container back bit for bit; its error stays under one 16-bit step.
TEST(PcmConversion, WiderSamplesKeepTheirTopSixteenBits) {
    struct Row {
        INT32 bits;
        std::vector<int64_t> in;
        std::vector<int16_t> out;
    };
    const Row rows[] = {
        {8, {-128, 0, 127, 1}, {-32768, 0, 32512, 256}},
        {24, {8388607, -8388608, 0x1234FF, -1, -256, -257, 255}, {32767, -32768, 0x1234, -1, -1, -2, 0}},
        {32, {2147483647, -2147483647 - 1, 0x7FFF0000, 0x0001FFFF, -1, -65536, -65537},
         {32767, -32768, 32767, 1, -1, -1, -2}},
        {24, {0x123400, -0x123400}, {0x1234, -0x1234}},  // 16-bit audio padded to 24 bits
        {32, {0x12340000, -0x12340000}, {0x1234, -0x1234}},
    };
    for (const Row& row : rows) {
        const INT32 frames = static_cast<INT32>(row.in.size());
        PcmConversion plan;
        ASSERT_TRUE(plan.Plan({1, row.bits}, {1, 16}));
        std::vector<int16_t> got = Convert(plan, Samples(row.bits, row.in), frames);
        got.resize(row.out.size());
        EXPECT_EQ(row.out, got) << row.bits << " bits";
    }
}

TEST(PcmConversion, FoldsKeepTheFrontsAndDropTheLowFrequencyChannel) {
    // 5.1 (FL FR FC LFE BL BR): the left gains 1 : 0.707 : 0.707 over their sum.
    PcmConversion plan;
    ASSERT_TRUE(plan.Plan({6, 16}, {2, 16}));
    const std::vector<int64_t> frames = {
        16000, 0, 0, 0, 0, 0,       // front left only
        0, 16000, 0, 0, 0, 0,       // front right only
        0, 0, 16000, 0, 0, 0,       // centre: both sides alike
        0, 0, 0, 32767, 0, 0,       // the low-frequency channel: silence
        0, 0, 0, 0, 16000, -16000,  // surrounds: each on its side
    };
    const std::vector<int16_t> got = Convert(plan, Samples(16, frames), 5);
    const int front = 16000 * 65536 / 158218, side = 16000 * 46341 / 158218;
    const int tolerance = 1;
    const int expected[10] = {front, 0, 0, front, side, side, 0, 0, side, -side};
    for (int i = 0; i < 10; ++i) EXPECT_NEAR(expected[i], got[i], tolerance) << "output sample " << i;
}

TEST(PcmConversion, FoldsOfFullScaleNeitherClipNorWrap) {
    for (INT32 channels = 3; channels <= 8; ++channels) {
        for (INT32 bits : {8, 16, 24, 32}) {
            PcmConversion plan;
            ASSERT_TRUE(plan.Plan({channels, bits}, {2, 16}));
            const int64_t top = (int64_t{1} << (bits - 1)) - 1, bottom = -(int64_t{1} << (bits - 1));
            std::vector<int64_t> values;
            for (INT32 c = 0; c < channels; ++c) values.push_back(top);
            for (INT32 c = 0; c < channels; ++c) values.push_back(bottom);
            const std::vector<int16_t> got = Convert(plan, Samples(bits, values), 2);
            SCOPED_TRACE(::testing::Message() << channels << " channels, " << bits << " bits");
            // All channels at full scale add up to full scale at most, never past it.
            EXPECT_GT(got[0], 30000);
            EXPECT_GT(got[1], 30000);
            EXPECT_LT(got[2], -30000);
            EXPECT_LT(got[3], -30000);
        }
    }
}

}  // namespace
}  // namespace ombrel::test
