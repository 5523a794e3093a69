// The peak computation on the audio thread: what each sample width and channel count reads,
// and which blocks leave the peaks alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/LevelMeter.h"

namespace ombrel::test {
namespace {

class PeakComputation : public ::testing::Test {
protected:
    // Values no block of these tests produces, so an untouched peak shows.
    void SetUp() override { SetPeaks(1111, 2222); }

    static void SetPeaks(LONG left, LONG right) {
        _peakLevels.left = left;
        _peakLevels.right = right;
    }
    static LONG Left() { return _peakLevels.left; }
    static LONG Right() { return _peakLevels.right; }
};

TEST_F(PeakComputation, StereoSixteenBitTakesEachChannelsGreatestMagnitude) {
    struct Case {
        std::vector<int16_t> samples;  // interleaved, left first
        LONG left;
        LONG right;
        const char* why;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, 0, 0, "silence"},
        {{100, -5, -300, 7, 200, 6}, 300, 7, "negative samples count by magnitude"},
        {{32767, 0, 0, 16384}, 32767, 16384, "full scale on the left, half on the right"},
        {{-32768, 1, 0, 0}, 32768, 1, "-32768 is magnitude 32768"},
        {{0, -32768, 0, 32767}, 0, 32768, "-32768 beats 32767"},
        {{5, 9}, 5, 9, "a single frame"},
    };
    for (const Case& c : cases) {
        SetPeaks(1111, 2222);
        ComputePeaks(c.samples.data(), static_cast<int>(c.samples.size() / 2), 16, 2);
        EXPECT_EQ(c.left, Left()) << c.why;
        EXPECT_EQ(c.right, Right()) << c.why;
    }
}

TEST_F(PeakComputation, MonoDrivesBothPeaksFromAllSamples) {
    const int16_t samples[] = {10, -20000, 300, 16384};
    ComputePeaks(samples, 4, 16, 1);
    EXPECT_EQ(20000, Left());
    EXPECT_EQ(20000, Right());

    const uint8_t bytes[] = {3, 7, 255, 0};
    ComputePeaks(bytes, 4, 8, 1);
    EXPECT_EQ(32767, Left());
    EXPECT_EQ(32767, Right());
}

TEST_F(PeakComputation, EightBitBytesScaleToSixteenBitsWithoutRecentring) {
    struct Case {
        uint8_t value;  // every byte of a stereo block
        LONG peak;
        const char* why;
    };
    const Case cases[] = {
        {0, 0, "byte 0 is silence on this scale"},
        {128, 16447, "the 8-bit zero line reads as 128 * 32767 / 255, about half scale"},
        {255, 32767, "255 is full scale"},
        {1, 128, "1 * 32767 / 255 truncates"},
    };
    for (const Case& c : cases) {
        SetPeaks(1111, 2222);
        const std::vector<uint8_t> block(64, c.value);
        ComputePeaks(block.data(), 32, 8, 2);
        EXPECT_EQ(c.peak, Left()) << c.why;
        EXPECT_EQ(c.peak, Right()) << c.why;
    }
    const uint8_t stereo[] = {200, 10, 90, 60};
    ComputePeaks(stereo, 2, 8, 2);
    EXPECT_EQ(200 * 32767 / 255, Left());
    EXPECT_EQ(60 * 32767 / 255, Right());
}

TEST_F(PeakComputation, OnlyTheBlocksFramesAreRead) {
    // The buffer runs on past the block's frames; what lies beyond must not count.
    const int16_t stereo[] = {1, 2, 3, 4, 30000, 30000};
    ComputePeaks(stereo, 2, 16, 2);
    EXPECT_EQ(3, Left());
    EXPECT_EQ(4, Right());

    const int16_t mono[] = {5, 6, 30000};
    ComputePeaks(mono, 2, 16, 1);
    EXPECT_EQ(6, Left());

    const uint8_t bytes[] = {7, 8, 9, 10, 250, 250};
    ComputePeaks(bytes, 2, 8, 2);
    EXPECT_EQ(9 * 32767 / 255, Left());
    EXPECT_EQ(10 * 32767 / 255, Right());
}

TEST_F(PeakComputation, EachBlockReplacesThePeaksWithoutHold) {
    const int16_t loud[] = {32767, 32767};
    const int16_t quiet[] = {12, -34};
    ComputePeaks(loud, 1, 16, 2);
    ComputePeaks(quiet, 1, 16, 2);
    EXPECT_EQ(12, Left());
    EXPECT_EQ(34, Right());
}

// Little-endian samples of a width from values on its own scale (8-bit: stored unsigned).
std::vector<uint8_t> Samples(int bits, const std::vector<int64_t>& values) {
    std::vector<uint8_t> out;
    for (int64_t v : values) {
        if (bits == 8) v += 128;
        for (int b = 0; b < bits / 8; ++b) out.push_back(static_cast<uint8_t>(v >> (8 * b)));
    }
    return out;
}

TEST_F(PeakComputation, EveryWidthAndChannelCountDrivesThePeaksFromItsFirstTwoChannels) {
    struct Case {
        int bits;
        int channels;
        std::vector<int64_t> frames;  // interleaved; the third channel on is never read
        LONG left;
        LONG right;
    };
    const Case cases[] = {
        {24, 2, {4194304, -8388608, -100, 0}, 16384, 32768},
        {24, 1, {-4194304, 256, 100}, 16384, 16384},
        {32, 2, {1073741824, -2147483647 - 1}, 16384, 32768},
        {32, 6, {65536, -131072, 2147483647, 2147483647, 2147483647, 2147483647}, 1, 2},
        {24, 8, {256, 512, 8388607, 8388607, 8388607, 8388607, 8388607, 8388607}, 1, 2},
        {16, 6, {1000, -2000, 32767, 32767, 32767, 32767}, 1000, 2000},
        {8, 3, {0, 127, 127}, 128 * 32767 / 255, 255 * 32767 / 255},  // bytes, not re-centred
    };
    for (const Case& c : cases) {
        SetPeaks(1111, 2222);
        const std::vector<uint8_t> block = Samples(c.bits, c.frames);
        const int frames = static_cast<int>(c.frames.size()) / c.channels;
        ComputePeaks(block.data(), frames, c.bits, c.channels);
        EXPECT_EQ(c.left, Left()) << c.bits << " bits, " << c.channels << " channels";
        EXPECT_EQ(c.right, Right()) << c.bits << " bits, " << c.channels << " channels";
    }
}

TEST_F(PeakComputation, UnreadableBlocksLeaveThePeaks) {
    const std::vector<uint8_t> loud(6 * 4 * 16, 0x7F);
    struct Case {
        const void* samples;
        int frames;
        int bits;
        int channels;
        const char* why;
    };
    const Case cases[] = {
        {loud.data(), 16, 0, 2, "no sample width"},
        {loud.data(), 16, 20, 2, "20-bit samples"},
        {loud.data(), 16, 16, 0, "no channels"},
        {loud.data(), 16, 16, -2, "a negative channel count"},
        {loud.data(), 0, 16, 2, "a block of zero frames tells nothing"},
        {loud.data(), -5, 16, 2, "a negative frame count"},
        {nullptr, 16, 16, 2, "no samples"},
    };
    for (const Case& c : cases) {
        SetPeaks(1111, 2222);
        ComputePeaks(c.samples, c.frames, c.bits, c.channels);
        EXPECT_EQ(1111, Left()) << c.why;
        EXPECT_EQ(2222, Right()) << c.why;
    }
}

}  // namespace
}  // namespace ombrel::test
