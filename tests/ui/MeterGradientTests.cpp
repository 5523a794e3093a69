// The gradient image the bars are copied from: its size, its segments and their colours,
// controls too small for it, and its life.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "MeterTestSupport.h"
#include "ui/GradientImage.h"
#include "ui/LevelMeter.h"

namespace ombrel::test {
namespace {

struct GradientPixels {
    bool exists = false;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // top row first, 0xRRGGBB

    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

// The current image as it stands, read through the lease a drawing pass takes.
GradientPixels ReadGradient() {
    GradientPixels read;
    GradientLease lease;
    if (!lease.Bitmap()) return read;
    BITMAP bitmap{};
    if (::GetObjectA(lease.Bitmap(), sizeof(bitmap), &bitmap) != sizeof(bitmap)) return read;
    read.exists = true;
    read.width = bitmap.bmWidth;
    read.height = bitmap.bmHeight;
    EXPECT_EQ(lease.Width(), read.width);
    EXPECT_EQ(lease.Height(), read.height);
    EXPECT_EQ(32, bitmap.bmBitsPixel);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = read.width;
    info.bmiHeader.biHeight = -read.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    read.pixels.assign(static_cast<size_t>(read.width) * read.height, 0xDEADBEEF);
    win::WindowDc screen(nullptr);
    EXPECT_EQ(read.height, ::GetDIBits(screen.get(), lease.Bitmap(), 0, read.height, read.pixels.data(), &info,
                                       DIB_RGB_COLORS));
    return read;
}

class GradientImage : public ::testing::Test {
protected:
    void SetUp() override { gdiObjects_ = win::UniqueGdiObject::LiveCount(); }
    void TearDown() override {
        DestroyGradientImage();
        EXPECT_EQ(gdiObjects_, win::UniqueGdiObject::LiveCount());
    }

private:
    long gdiObjects_ = 0;
};

TEST_F(GradientImage, SizeFollowsTheControl) {
    struct Case {
        int width, height, imageWidth, imageHeight;
    };
    const Case cases[] = {{21, 186, 9, 184}, {22, 186, 9, 184}, {41, 100, 19, 98}, {5, 3, 1, 1}, {6, 4, 1, 2}};
    for (const Case& c : cases) {
        BuildGradientImageForSize(c.width, c.height);
        const GradientPixels image = ReadGradient();
        ASSERT_TRUE(image.exists) << c.width << "x" << c.height;
        EXPECT_EQ(c.imageWidth, image.width) << c.width << "x" << c.height;
        EXPECT_EQ(c.imageHeight, image.height) << c.width << "x" << c.height;
    }
}

TEST_F(GradientImage, SegmentsOfTwoRowsAndOneBlackRowRedOnTop) {
    BuildGradientImageForSize(21, 186);  // 9 x 184; t = ((186 - y - 2) * 127) / 184
    const GradientPixels image = ReadGradient();
    ASSERT_TRUE(image.exists);
    struct Row {
        int y;
        uint32_t colour;
        const char* why;
    };
    const Row rows[] = {
        {0, kRed, "the top segment is pure red"},
        {1, kRed, "segments are two rows high"},
        {2, kBlack, "then one black row"},
        {3, Segment(252), "t = 181 * 127 / 184 = 124"},
        {4, Segment(252), "second row of the segment"},
        {5, kBlack, "gap"},
        {90, Segment(192), "t = 94 * 127 / 184 = 64"},
        {180, Segment(130), "t = 4 * 127 / 184 = 2"},
        {182, kBlack, "gap"},
        {183, Segment(128), "the last row starts a segment cut short: t = 0"},
    };
    for (const Row& row : rows) {
        for (int x = 0; x < image.width; ++x) {
            EXPECT_EQ(row.colour, image.At(x, row.y)) << "row " << row.y << ", column " << x << ": " << row.why;
        }
    }
    // Every third row is black; green never rises from one segment to the next.
    uint32_t previousGreen = 0xFF;
    for (int y = 0; y < image.height; ++y) {
        const uint32_t pixel = image.At(0, y);
        if (y % 3 == 2) {
            EXPECT_EQ(kBlack, pixel) << "row " << y;
        } else if (y >= 3) {
            EXPECT_EQ(0xFF0000u, pixel & 0xFF00FF) << "row " << y;
            const uint32_t green = (pixel >> 8) & 0xFF;
            EXPECT_GE(green, 128u) << "row " << y;
            EXPECT_LE(green, previousGreen) << "row " << y;
            previousGreen = green;
        }
    }
}

TEST_F(GradientImage, TooSmallControlsGetNoImage) {
    const struct {
        int width, height;
    } sizes[] = {{2, 1}, {3, 2}, {4, 186}, {21, 2}, {1, 1}, {0, 0}, {-4, 100}, {21, -50}};
    for (const auto& size : sizes) {
        BuildGradientImageForSize(21, 186);
        BuildGradientImageForSize(size.width, size.height);
        EXPECT_FALSE(ReadGradient().exists) << size.width << "x" << size.height
                                            << " replaces the image with none, never a negative-sized one";
    }
}

TEST_F(GradientImage, RebuildReplacesAndDestroyRemoves) {
    BuildGradientImageForSize(21, 186);
    const long withOne = win::UniqueGdiObject::LiveCount();
    BuildGradientImageForSize(41, 100);
    EXPECT_EQ(withOne, win::UniqueGdiObject::LiveCount()) << "the old image is deleted";
    EXPECT_EQ(19, ReadGradient().width);
    DestroyGradientImage();
    EXPECT_FALSE(ReadGradient().exists);
    EXPECT_EQ(withOne - 1, win::UniqueGdiObject::LiveCount());
    DestroyGradientImage();
    EXPECT_EQ(withOne - 1, win::UniqueGdiObject::LiveCount()) << "destroying nothing is harmless";
}

TEST_F(GradientImage, BuiltFromTheMainWindowsMeterControl) {
    MeterWindow window(21, 186);
    ASSERT_NE(nullptr, window.Control());
    BuildGradientImage(window.Parent());
    GradientPixels image = ReadGradient();
    ASSERT_TRUE(image.exists);
    EXPECT_EQ(9, image.width);
    EXPECT_EQ(184, image.height);

    MeterWindow odd(30, 61);
    BuildGradientImageFor(odd.Control());
    image = ReadGradient();
    ASSERT_TRUE(image.exists);
    EXPECT_EQ(13, image.width);
    EXPECT_EQ(59, image.height);

    BuildGradientImage(nullptr);
    EXPECT_FALSE(ReadGradient().exists) << "no window, no image";
    BuildGradientImage(window.Control());
    EXPECT_FALSE(ReadGradient().exists) << "a window without control 1004 has no meter";
}

}  // namespace
}  // namespace ombrel::test
