// The owner of the monitor's window timer: counted while it runs, killed once, movable.
#include <gtest/gtest.h>

#include "tests/ui/MainWindowTestSupport.h"
#include "win/WindowTimer.h"

namespace ombrel::test {
namespace {

constexpr UINT_PTR kId = 77;

// WM_TIMER messages of id for window that arrive within ms.
int TicksWithin(HWND window, DWORD ms) {
    int ticks = 0;
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
        MSG msg;
        while (::PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE))
            if (msg.wParam == kId) ++ticks;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_TIMER);
    }
    return ticks;
}

class WindowTimerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(window_); }
    win::UniqueWindow window_{::CreateWindowExA(0, "STATIC", "timer", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                                Instance(), nullptr)};
};

TEST_F(WindowTimerTest, TicksWhileHeldAndStopsAtReset) {
    const long before = win::WindowTimer::LiveCount();
    win::WindowTimer timer(window_.get(), kId, 10);
    ASSERT_TRUE(timer);
    EXPECT_EQ(before + 1, win::WindowTimer::LiveCount());
    EXPECT_GT(TicksWithin(window_.get(), 200), 0);

    timer.reset();
    EXPECT_FALSE(timer);
    EXPECT_EQ(before, win::WindowTimer::LiveCount());
    TicksWithin(window_.get(), 20);  // a tick already queued
    EXPECT_EQ(0, TicksWithin(window_.get(), 150));
    timer.reset();
    EXPECT_EQ(before, win::WindowTimer::LiveCount());
}

TEST_F(WindowTimerTest, MovingHandsTheTimerOverWithoutKillingIt) {
    const long before = win::WindowTimer::LiveCount();
    win::WindowTimer first(window_.get(), kId, 10);
    win::WindowTimer second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(before + 1, win::WindowTimer::LiveCount());
    EXPECT_GT(TicksWithin(window_.get(), 200), 0);

    win::WindowTimer third;
    third = std::move(second);
    EXPECT_EQ(before + 1, win::WindowTimer::LiveCount());
    EXPECT_GT(TicksWithin(window_.get(), 200), 0);
    third = win::WindowTimer();
    EXPECT_EQ(before, win::WindowTimer::LiveCount());
}

TEST_F(WindowTimerTest, NoWindowMeansNoTimerAndNothingCounted) {
    const long before = win::WindowTimer::LiveCount();
    win::WindowTimer timer(nullptr, kId, 10);
    EXPECT_FALSE(timer);
    EXPECT_EQ(before, win::WindowTimer::LiveCount());
}

}  // namespace
}  // namespace ombrel::test
