// Ten thousand drawing passes into a real control: every device context and GDI object a pass
// creates is given back (counted at their owners), and the last pass still draws correctly.
#include <gtest/gtest.h>

#include <cstdio>

#include "MeterTestSupport.h"
#include "ui/GradientImage.h"
#include "ui/LevelMeter.h"
#include "ui/MeterDrawing.h"

namespace ombrel::test {
namespace {

TEST(MeterLeaks, TenThousandPassesGiveBackEveryObject) {
    MeterWindow window(21, 186);
    ASSERT_NE(nullptr, window.Control());
    BuildGradientImage(window.Parent());

    const long gdiObjects = win::UniqueGdiObject::LiveCount();
    const long memoryDcs = win::UniqueMemoryDc::LiveCount();
    const long windowDcs = win::WindowDc::LiveCount();
    const double levels[] = {0.0, 6.02, 100.0, 12.0, 0.5};
    const DWORD start = ::GetTickCount();
    for (int pass = 0; pass < 10000; ++pass) {
        DrawMeterInto(window.Control(), levels[pass % 5], levels[(pass + 2) % 5]);
    }
    const DWORD elapsed = ::GetTickCount() - start;
    ::testing::Test::RecordProperty("ten_thousand_passes_ms", static_cast<int>(elapsed));
    std::printf("10000 passes into a 21x186 control: %lu ms\n", static_cast<unsigned long>(elapsed));

    EXPECT_EQ(gdiObjects, win::UniqueGdiObject::LiveCount());
    EXPECT_EQ(memoryDcs, win::UniqueMemoryDc::LiveCount());
    EXPECT_EQ(windowDcs, win::WindowDc::LiveCount());

    // A pass that leaked would soon find no room for its buffer; this one still draws whole.
    DrawMeterInto(window.Control(), 0.0, 6.020334836919244);
    {
        PixelCanvas canvas(21, 186);
        ReadWindow(window.Control(), canvas);
        EXPECT_EQ(183, BarHeightAt(canvas, 1, 183));
        EXPECT_EQ(135, BarHeightAt(canvas, 11, 183));
        EXPECT_EQ("", LayoutFaults(canvas, 9, 183, 183, 135));
    }

    DestroyGradientImage();
    EXPECT_EQ(gdiObjects - 1, win::UniqueGdiObject::LiveCount());
}

}  // namespace
}  // namespace ombrel::test
