// Known PCM blocks through the whole meter: the peak computation, the meter thread's reading
// and a drawing pass into a real window's control, read back from the control's own DC.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "MeterTestSupport.h"
#include "plugin/PluginState.h"
#include "ui/GradientImage.h"
#include "ui/LevelMeter.h"
#include "ui/MeterDrawing.h"
#include "ui/MeterThread.h"

namespace ombrel::test {
namespace {

class MeterBlocks : public ::testing::Test {
protected:
    void SetUp() override {
        _fPlaying = 1;
        _peakLevels.left = 0;
        _peakLevels.right = 0;
        ASSERT_NE(nullptr, window_.Control());
        BuildGradientImage(window_.Parent());
    }
    void TearDown() override {
        DestroyGradientImage();
        _fPlaying = 1;
    }

    struct Bars {
        int left;
        int right;
        std::string faults;
    };

    // One pass as the meter thread makes it, into the control, read back from its DC.
    Bars Pass() {
        const MeterReading reading = TakeMeterReading();
        DrawMeterInto(window_.Control(), reading.left, reading.right);
        PixelCanvas canvas(21, 186);
        ReadWindow(window_.Control(), canvas);
        const int left = BarHeightAt(canvas, 1, 183);
        const int right = BarHeightAt(canvas, 11, 183);
        return {left, right, LayoutFaults(canvas, 9, 183, left, right)};
    }

    MeterWindow window_{21, 186};
};

std::vector<int16_t> Stereo16(int frames, int16_t left, int16_t right) {
    std::vector<int16_t> block;
    for (int i = 0; i < frames; ++i) {
        block.push_back(static_cast<int16_t>(i % 2 ? left : -left / 2));
        block.push_back(static_cast<int16_t>(i % 2 ? right : -right / 2));
    }
    return block;
}

TEST_F(MeterBlocks, SixteenBitStereoBlocks) {
    struct Case {
        int16_t left, right;
        int leftHeight, rightHeight;
        const char* why;
    };
    const Case cases[] = {
        {0, 0, 0, 0, "silence: attenuation 100, both bars empty"},
        {32767, 32767, 183, 183, "full scale: 0 dB, full bars with the red top"},
        {16384, 32767, 135, 183, "half scale: about 6.02 dB"},
        {-32768, 16384, 183, 135, "-32768 counts as 32768, just above full scale"},
    };
    for (const Case& c : cases) {
        const std::vector<int16_t> block = Stereo16(576, c.left, c.right);
        ComputePeaks(block.data(), 576, 16, 2);
        const Bars bars = Pass();
        EXPECT_EQ(c.leftHeight, bars.left) << c.why;
        EXPECT_EQ(c.rightHeight, bars.right) << c.why;
        EXPECT_EQ("", bars.faults) << c.why;
    }
}

TEST_F(MeterBlocks, EightBitConstant128IsNotSilence) {
    const std::vector<uint8_t> block(2 * 576, 128);
    ComputePeaks(block.data(), 576, 8, 2);
    const Bars bars = Pass();
    EXPECT_EQ(135, bars.left) << "128 * 32767 / 255 is about -5.99 dB";
    EXPECT_EQ(135, bars.right);
    EXPECT_EQ("", bars.faults);
}

TEST_F(MeterBlocks, MonoDrivesBothBarsEqually) {
    std::vector<int16_t> block(576, 100);
    block[300] = -16384;
    ComputePeaks(block.data(), 576, 16, 1);
    const Bars bars = Pass();
    EXPECT_EQ(135, bars.left);
    EXPECT_EQ(135, bars.right);
    EXPECT_EQ("", bars.faults);
}

TEST_F(MeterBlocks, TwentyFourBitAndSixChannelBlocksDriveTheBarsFromTheirFirstTwoChannels) {
    const std::vector<int16_t> before = Stereo16(576, 16384, 32767);
    ComputePeaks(before.data(), 576, 16, 2);
    ASSERT_EQ(135, Pass().left);

    // 24-bit stereo, the left at half scale and the right at full scale: the 16-bit block's bars.
    std::vector<uint8_t> block24;
    for (int i = 0; i < 576; ++i)
        for (uint32_t v : {0x400000u, 0x7FFFFFu})
            for (int b = 0; b < 3; ++b) block24.push_back(static_cast<uint8_t>(v >> (8 * b)));
    ComputePeaks(before.data(), 576, 16, 2);
    const Bars sixteen = Pass();
    ComputePeaks(block24.data(), 576, 24, 2);
    Bars bars = Pass();
    EXPECT_EQ(sixteen.left, bars.left) << "a 24-bit block is read on the same scale";
    EXPECT_EQ(sixteen.right, bars.right);

    // Six channels, silent in the first two and loud in the rest: the bars empty.
    std::vector<int16_t> six(6 * 576, 0);
    for (size_t i = 0; i < six.size(); ++i)
        if (i % 6 >= 2) six[i] = 32767;
    ComputePeaks(six.data(), 576, 16, 6);
    bars = Pass();
    EXPECT_EQ(0, bars.left) << "only the first two channels are read";
    EXPECT_EQ(0, bars.right);

    ComputePeaks(before.data(), 576, 16, 2);
    const Bars loud = Pass();
    ComputePeaks(six.data(), 0, 16, 2);
    bars = Pass();
    EXPECT_EQ(loud.left, bars.left) << "a block of no frames is not read";
    EXPECT_EQ("", bars.faults);
}

TEST_F(MeterBlocks, NotPlayingEmptiesTheBars) {
    const std::vector<int16_t> loud = Stereo16(576, 32767, 32767);
    ComputePeaks(loud.data(), 576, 16, 2);
    ASSERT_EQ(183, Pass().left);
    _fPlaying = 0;
    const Bars bars = Pass();
    EXPECT_EQ(0, bars.left);
    EXPECT_EQ(0, bars.right);
    EXPECT_EQ(0, _peakLevels.left.load()) << "the pass zeroes the peaks themselves";
    EXPECT_EQ(0, _peakLevels.right.load());
}

}  // namespace
}  // namespace ombrel::test
