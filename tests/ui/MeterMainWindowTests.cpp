// The meter in the real main window: the gradient built at its set-up from control 1004's size,
// the meter thread drawing into that control, a closed window left alone and a reopened one
// drawn again at once, the image gone with the window.
#include <gtest/gtest.h>

#include <cstdio>

#include "MeterTestSupport.h"
#include "plugin/PluginState.h"
#include "tests/common/MessagePump.h"
#include "ui/GradientImage.h"
#include "ui/LevelMeter.h"
#include "ui/MainWindow.h"
#include "ui/MeterScale.h"
#include "ui/MeterThread.h"

namespace ombrel::test {
namespace {

struct MeterControl {
    HWND control = nullptr;
    int width = 0;
    int height = 0;
    MeterGeometry geometry{};
};

MeterControl FindMeterControl() {
    MeterControl meter;
    const HWND main = MainWindowHandle();
    if (!main) return meter;
    meter.control = ::GetDlgItem(main, IDC_LEVEL_METER);
    RECT client{};
    ::GetClientRect(meter.control, &client);
    meter.width = client.right;
    meter.height = client.bottom;
    meter.geometry = MeterGeometryFor(meter.width, meter.height);
    return meter;
}

// Left bar height, right bar height, and the layout's faults, as the control shows them.
struct Shown {
    int left = -1;
    int right = -1;
    std::string faults;
};

Shown ReadMeter(const MeterControl& meter) {
    Shown shown;
    PixelCanvas canvas(meter.width, meter.height);
    ReadWindow(meter.control, canvas);
    shown.left = BarHeightAt(canvas, 1, meter.geometry.scaleHeight);
    shown.right = BarHeightAt(canvas, meter.geometry.barWidth + 2, meter.geometry.scaleHeight);
    shown.faults = LayoutFaults(canvas, meter.geometry.barWidth, meter.geometry.scaleHeight, shown.left,
                                            shown.right);
    return shown;
}

class MeterInMainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        _fPlaying = 1;
        OpenMainWindow(::GetModuleHandleA(nullptr), nullptr);
        if (!MainWindowHandle()) GTEST_SKIP() << "the main window does not open in this build";
        meter_ = FindMeterControl();
        ASSERT_NE(nullptr, meter_.control);
    }
    void TearDown() override {
        _fMeterRun = 0;
        JoinMeterThread();
        CloseMainWindow();
        _fPlaying = 1;
        _peakLevels.left = 0;
        _peakLevels.right = 0;
    }

    MeterControl meter_;
};

TEST_F(MeterInMainWindow, DrawMeterPaintsControl1004FromTheWindowsGradient) {
    // 14 x 124 dialog units: the exact pixels follow the dialog font.
    RecordProperty("meter_control_width", meter_.width);
    RecordProperty("meter_control_height", meter_.height);
    std::printf("control 1004: %d x %d pixels\n", meter_.width, meter_.height);
    ASSERT_GT(meter_.geometry.barWidth, 0) << meter_.width << "x" << meter_.height;
    ASSERT_GT(meter_.geometry.scaleHeight, 0) << meter_.width << "x" << meter_.height;
    {
        GradientLease image;
        ASSERT_NE(nullptr, image.Bitmap()) << "the window's set-up builds the image";
        EXPECT_EQ(meter_.geometry.barWidth, image.Width());
        EXPECT_EQ(meter_.height - 2, image.Height());
    }
    const double half = 6.020334836919244;
    DrawMeter(0.0, half);
    const Shown shown = ReadMeter(meter_);
    EXPECT_EQ(meter_.geometry.scaleHeight, shown.left);
    EXPECT_EQ(BarHeight(half, meter_.geometry.scaleHeight), shown.right);
    EXPECT_EQ("", shown.faults);

    CloseMainWindow();
    GradientLease image;
    EXPECT_EQ(nullptr, image.Bitmap()) << "the image goes with the window";
}

TEST_F(MeterInMainWindow, TheThreadDrawsSkipsAClosedWindowAndDrawsAReopenedOneAtOnce) {
    _peakLevels.left = 32767;
    _peakLevels.right = 16384;
    StartMeterThread();
    const int full = meter_.geometry.scaleHeight;
    const int half = BarHeight(PeakAttenuation(16384), full);
    Shown shown;
    EXPECT_TRUE(PumpUntil(5000, [&] {
        shown = ReadMeter(meter_);
        return shown.left == full && shown.right == half;
    })) << shown.left << " " << shown.right;
    EXPECT_EQ("", shown.faults);

    CloseMainWindow();
    const long passes = MeterPassCount();
    EXPECT_TRUE(PumpUntil(5000, [&] { return MeterPassCount() >= passes + 5; })) << "the thread keeps cycling";

    OpenMainWindow(::GetModuleHandleA(nullptr), nullptr);
    meter_ = FindMeterControl();
    ASSERT_NE(nullptr, meter_.control);
    EXPECT_TRUE(PumpUntil(5000, [&] {
        shown = ReadMeter(meter_);
        return shown.left == full && shown.right == half;
    })) << shown.left << " " << shown.right;

    // Playback stops: the bars fall to empty.
    _fPlaying = 0;
    EXPECT_TRUE(PumpUntil(5000, [&] {
        shown = ReadMeter(meter_);
        return shown.left == 0 && shown.right == 0;
    })) << shown.left << " " << shown.right;
}

}  // namespace
}  // namespace ombrel::test
