// Drawing passes read back pixel by pixel from a canvas the test owns: bar heights, the red top
// segment, the black columns, the gradient's colours, odd and tiny sizes.
#include <gtest/gtest.h>

#include "MeterTestSupport.h"
#include "ui/GradientImage.h"
#include "ui/LevelMeter.h"
#include "ui/MeterDrawing.h"

namespace ombrel::test {
namespace {

class MeterDrawing : public ::testing::Test {
protected:
    void TearDown() override { DestroyGradientImage(); }
};

// The main window's control: 21 x 186, bars 9 wide at columns 1 and 11, scale 183.
TEST_F(MeterDrawing, FullBarsAtZeroDecibelsWithTheRedTop) {
    BuildGradientImageForSize(21, 186);
    PixelCanvas canvas(21, 186);
    ASSERT_TRUE(canvas.Ready());
    RenderMeter(canvas.Dc(), 21, 186, 0.0, 0.0);
    EXPECT_EQ(183, BarHeightAt(canvas, 1, 183));
    EXPECT_EQ(183, BarHeightAt(canvas, 11, 183));
    EXPECT_EQ("", LayoutFaults(canvas, 9, 183, 183, 183));
    for (int x : {1, 9, 11, 19}) {
        EXPECT_EQ(kBlack, canvas.At(x, 1)) << "row 1 is above the bar, column " << x;
        EXPECT_EQ(kRed, canvas.At(x, 2)) << "the bar's top row, column " << x;
        EXPECT_EQ(kRed, canvas.At(x, 3)) << "column " << x;
        EXPECT_EQ(kBlack, canvas.At(x, 4)) << "gap under the red segment, column " << x;
        EXPECT_EQ(Segment(252), canvas.At(x, 5)) << "column " << x;
        EXPECT_EQ(Segment(192), canvas.At(x, 92)) << "gradient row 90, column " << x;
        EXPECT_EQ(Segment(130), canvas.At(x, 183)) << "the last coloured row, gradient row 181, column " << x;
        EXPECT_EQ(kBlack, canvas.At(x, 184)) << "row e + 1 ends the bar with a gap, column " << x;
        EXPECT_EQ(kBlack, canvas.At(x, 185)) << "column " << x;
    }
    for (int y = 0; y < 186; ++y) {
        EXPECT_EQ(kBlack, canvas.At(0, y)) << "column 0, row " << y;
        EXPECT_EQ(kBlack, canvas.At(10, y)) << "column bw + 1, row " << y;
        EXPECT_EQ(kBlack, canvas.At(20, y)) << "column 2 bw + 2, row " << y;
    }
}

TEST_F(MeterDrawing, BarHeightsInThreePixelSteps) {
    BuildGradientImageForSize(21, 186);
    PixelCanvas canvas(21, 186);
    ASSERT_TRUE(canvas.Ready());
    struct Case {
        double left, right;
        int leftHeight, rightHeight;
        const char* why;
    };
    const Case cases[] = {
        {100.0, 100.0, 0, 0, "silence: both bars empty"},
        {6.020334836919244, 0.0, 135, 183, "half scale on the left"},
        {0.0, 12.0, 183, 90, "half the dB scale on the right"},
        {0.5, 0.5, 177, 177, "half a dB down: one step below full, no red"},
        {24.0, 23.9, 0, 0, "-24 dB is empty; 0.1 dB more rounds to a 1-pixel step, truncated away"},
        {22.0, 21.0, 15, 21, "the lowest steps"},
    };
    for (const Case& c : cases) {
        canvas.Fill(kPoison);
        RenderMeter(canvas.Dc(), 21, 186, c.left, c.right);
        EXPECT_EQ(c.leftHeight, BarHeightAt(canvas, 1, 183)) << c.why;
        EXPECT_EQ(c.rightHeight, BarHeightAt(canvas, 11, 183)) << c.why;
        EXPECT_EQ("", LayoutFaults(canvas, 9, 183, c.leftHeight, c.rightHeight)) << c.why;
    }
}

TEST_F(MeterDrawing, RedTopOnlyAtZeroDecibels) {
    BuildGradientImageForSize(21, 186);
    PixelCanvas canvas(21, 186);
    ASSERT_TRUE(canvas.Ready());
    for (double attenuation : {0.066, 0.5, 3.0, 6.02, 12.0, 23.0}) {
        canvas.Fill(kPoison);
        RenderMeter(canvas.Dc(), 21, 186, attenuation, attenuation);
        for (int y = 0; y < 186; ++y) {
            for (int x = 0; x < 21; ++x) {
                ASSERT_NE(kRed, canvas.At(x, y)) << attenuation << " dB shows red at " << x << "," << y;
            }
        }
        const int top = 185 - BarHeightAt(canvas, 1, 183);
        EXPECT_EQ(0xFF0000u, canvas.At(1, top) & 0xFF00FF) << attenuation << " dB: the top row is a segment";
    }
}

TEST_F(MeterDrawing, OddAndWiderControls) {
    struct Case {
        int width, height, barWidth, scaleHeight;
        double left, right;
        int leftHeight, rightHeight;
    };
    const Case cases[] = {
        {22, 186, 9, 183, 0.0, 6.020334836919244, 183, 135},  // the odd column 21 stays black
        {41, 100, 19, 96, 6.020334836919244, 0.0, 72, 96},
        {5, 5, 1, 3, 0.0, 0.0, 3, 3},  // one-pixel bars, one red segment
        {8, 7, 2, 3, 0.0, 100.0, 3, 0},
    };
    for (const Case& c : cases) {
        BuildGradientImageForSize(c.width, c.height);
        PixelCanvas canvas(c.width, c.height);
        ASSERT_TRUE(canvas.Ready());
        RenderMeter(canvas.Dc(), c.width, c.height, c.left, c.right);
        EXPECT_EQ(c.leftHeight, BarHeightAt(canvas, 1, c.scaleHeight)) << c.width << "x" << c.height;
        EXPECT_EQ(c.rightHeight, BarHeightAt(canvas, c.barWidth + 2, c.scaleHeight)) << c.width << "x" << c.height;
        EXPECT_EQ("", LayoutFaults(canvas, c.barWidth, c.scaleHeight, c.leftHeight, c.rightHeight))
            << c.width << "x" << c.height;
    }
}

TEST_F(MeterDrawing, TinyControlsDrawBlackAndNothingElse) {
    const struct {
        int width, height;
    } sizes[] = {{2, 1}, {3, 2}, {4, 4}, {1, 186}, {21, 1}, {21, 4}};
    for (const auto& size : sizes) {
        BuildGradientImageForSize(size.width, size.height);
        PixelCanvas canvas(size.width, size.height);
        ASSERT_TRUE(canvas.Ready());
        RenderMeter(canvas.Dc(), size.width, size.height, 0.0, 0.0);
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                EXPECT_EQ(kBlack, canvas.At(x, y)) << size.width << "x" << size.height << " at " << x << "," << y;
            }
        }
    }
}

TEST_F(MeterDrawing, EmptyAreaOrNoTargetDrawsNothing) {
    BuildGradientImageForSize(21, 186);
    PixelCanvas canvas(4, 4);
    ASSERT_TRUE(canvas.Ready());
    RenderMeter(canvas.Dc(), 0, 0, 0.0, 0.0);
    RenderMeter(canvas.Dc(), -21, 186, 0.0, 0.0);
    RenderMeter(canvas.Dc(), 21, -186, 0.0, 0.0);
    RenderMeter(nullptr, 21, 186, 0.0, 0.0);
    EXPECT_EQ(kPoison, canvas.At(0, 0));
    EXPECT_EQ(kPoison, canvas.At(3, 3));
}

TEST_F(MeterDrawing, WithoutAGradientTheBarsStayBlack) {
    DestroyGradientImage();
    PixelCanvas canvas(21, 186);
    ASSERT_TRUE(canvas.Ready());
    RenderMeter(canvas.Dc(), 21, 186, 0.0, 0.0);
    EXPECT_EQ("", LayoutFaults(canvas, 9, 183, 0, 0));
}

// The image keeps the size the control had when the window was set up; a pass into a larger
// area shows only what the image has and leaves the rest black.
TEST_F(MeterDrawing, AnImageSmallerThanTheAreaIsNotOverrun) {
    BuildGradientImageForSize(11, 62);  // 4 x 60
    PixelCanvas canvas(21, 186);
    ASSERT_TRUE(canvas.Ready());
    RenderMeter(canvas.Dc(), 21, 186, 0.0, 0.0);
    for (int y = 0; y < 186; ++y) {
        for (int x = 0; x < 21; ++x) {
            const bool inImage = (x >= 1 && x <= 4) || (x >= 11 && x <= 14);
            // Bars of 183 copy gradient rows 0..182; the image has rows 0..59, at rows 2..61.
            if (!inImage || y < 2 || y > 61) {
                ASSERT_EQ(kBlack, canvas.At(x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(kRed, canvas.At(1, 2));
    EXPECT_EQ(kRed, canvas.At(14, 3));
}

}  // namespace
}  // namespace ombrel::test
