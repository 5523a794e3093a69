// From peaks to decibels to bar heights.
#include <gtest/gtest.h>

#include <float.h>

#include <cmath>
#include <limits>

#include "ui/MeterScale.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

TEST(MeterAttenuation, KnownPeaks) {
    struct Case {
        LONG peak;
        double decibels;
        const char* why;
    };
    const Case cases[] = {
        {0, 100.0, "silence reads far below the scale"},
        {16384, 6.020334836919244, "half scale, about 6.02 dB"},
        {16447, 5.986999774395719, "an 8-bit block of constant 128"},
        {1, 90.30873362283398, "the smallest magnitude"},
        {32768, 0.0002650763603796116, "-32768's magnitude is just above full scale: a tiny positive value"},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(c.decibels, PeakAttenuation(c.peak), 1e-12) << c.why;
    }
    EXPECT_EQ(100.0, PeakAttenuation(-7)) << "no magnitude is negative; read it as silence";
}

// 32767 times the double nearest 1/32767 is 1 - 2^-60 exactly: with 64-bit precision the
// attenuation is 20 * 2^-60 / ln 10, with the 53 bits a new thread's x87 unit starts with it
// would be 0.
double FullScaleOnThisThread() { return PeakAttenuation(32767); }

DWORD WINAPI FullScaleOnNewThread(LPVOID result) {
    const unsigned int before = ::_controlfp(0, 0) & _MCW_PC;
    *static_cast<double*>(result) = FullScaleOnThisThread();
    const unsigned int after = ::_controlfp(0, 0) & _MCW_PC;
    return before == after ? 0 : 1;
}

TEST(MeterAttenuation, FullScaleIsWorkedInExtendedPrecisionOnAnyThread) {
    const double expected = 20.0 * std::ldexp(1.0, -60) / std::log(10.0);
    EXPECT_NEAR(expected, FullScaleOnThisThread(), expected * 1e-6);

    double onThread = -1;
    win::UniqueThread thread(::CreateThread(nullptr, 0, FullScaleOnNewThread, &onThread, 0, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.get(), 10000));
    DWORD precisionRestored = 2;
    ::GetExitCodeThread(thread.get(), &precisionRestored);
    EXPECT_NEAR(expected, onThread, expected * 1e-6);
    EXPECT_EQ(0u, precisionRestored) << "the thread's own precision setting is put back";
}

TEST(MeterGeometry, BarWidthAndScaleHeight) {
    struct Case {
        int width, height, barWidth, scaleHeight;
        const char* why;
    };
    const Case cases[] = {
        {21, 186, 9, 183, "the main window's control"},
        {22, 187, 9, 183, "odd sizes truncate"},
        {41, 100, 19, 96, "a wider, shorter control"},
        {5, 5, 1, 3, "the smallest with a bar"},
        {3, 2, 0, 0, "no room for a bar"},
        {2, 1, 0, 0, "narrower than the borders"},
        {0, 0, 0, 0, "empty"},
        {-9, -9, 0, 0, "negative sizes give nothing, never a negative size"},
    };
    for (const Case& c : cases) {
        const MeterGeometry g = MeterGeometryFor(c.width, c.height);
        EXPECT_EQ(c.barWidth, g.barWidth) << c.why;
        EXPECT_EQ(c.scaleHeight, g.scaleHeight) << c.why;
    }
}

TEST(MeterBarHeight, WholeThreePixelStepsFromEmptyToFull) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double attenuation;
        int scaleHeight;
        int height;
        const char* why;
    };
    const Case cases[] = {
        {0.0, 183, 183, "0 dB fills the scale"},
        {0.0002650763603796116, 183, 183, "just above full scale still rounds to full"},
        {0.5, 183, 177, "half a dB down is no longer full: floor(179.69) steps down to 177"},
        {6.020334836919244, 183, 135, "half scale: 137 truncated to a multiple of 3"},
        {12.0, 183, 90, "half the scale: 91.5 rounds to 92, truncated to 90"},
        {24.0, 183, 0, "-24 dB is empty"},
        {100.0, 183, 0, "silence is empty, never negative"},
        {-3.0, 183, 183, "above full scale is capped at the scale"},
        {0.0, 96, 96, "a shorter scale"},
        {6.020334836919244, 96, 72, "half scale on a shorter scale"},
        {0.0, 0, 0, "no scale"},
        {nan, 183, 0, "no number is empty"},
        {inf, 183, 0, "infinitely quiet is empty"},
        {-inf, 183, 183, "infinitely loud is capped"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.height, BarHeight(c.attenuation, c.scaleHeight)) << c.why;
    }
}

// Where the rounding turns: (24 - a) * 183 / 24 + 0.5 falls below 183 at a = 12 / 183, about
// 0.0656 dB; closer to 0 dB the bar is full, further down it is one step shorter.
TEST(MeterBarHeight, FullBarOnlyWithinTheRoundingOfZeroDecibels) {
    EXPECT_EQ(183, BarHeight(0.065, 183));
    EXPECT_EQ(180, BarHeight(0.066, 183));
}

}  // namespace
}  // namespace ombrel::test
