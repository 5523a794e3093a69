// Opening, bringing to the front, closing every way and reopening the main window; nothing it
// creates outlives it.
#include <gtest/gtest.h>

#include "tests/ui/MainWindowTestSupport.h"
#include "win/GdiWrappers.h"
#include "win/WindowTimer.h"

namespace ombrel::test {
namespace {

BOOL CALLBACK CountDialog(HWND window, LPARAM counter) {
    char name[16] = {};
    ::GetClassNameA(window, name, sizeof(name));
    if (lstrcmpA(name, "#32770") == 0) ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

int CountThreadDialogs() {
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), CountDialog, reinterpret_cast<LPARAM>(&count));
    return count;
}

struct LiveCounts {
    long gdiObjects = win::UniqueGdiObject::LiveCount();
    long imageLists = win::UniqueImageList::LiveCount();
    long windows = win::UniqueWindow::LiveCount();
    long windowDcs = win::WindowDc::LiveCount();
    long memoryDcs = win::UniqueMemoryDc::LiveCount();
    long timers = win::WindowTimer::LiveCount();
};

void ExpectSameCounts(const LiveCounts& before, const LiveCounts& after) {
    EXPECT_EQ(before.gdiObjects, after.gdiObjects);
    EXPECT_EQ(before.imageLists, after.imageLists);
    EXPECT_EQ(before.windows, after.windows);
    EXPECT_EQ(before.windowDcs, after.windowDcs);
    EXPECT_EQ(before.memoryDcs, after.memoryDcs);
    EXPECT_EQ(before.timers, after.timers);
}

TEST_F(MainWindowTest, OpenAgainCreatesNothingAndBringsTheWindowToTheFront) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(Instance(), ombrel::MainWindowInstance());
    const int dialogs = CountThreadDialogs();
    const LiveCounts counts;
    ::SetForegroundWindow(owner_.get());
    PumpMainWindow(50);
    ASSERT_EQ(owner_.get(), ::GetForegroundWindow());

    ombrel::OpenMainWindow(Instance(), owner_.get());
    EXPECT_EQ(dialog, ombrel::MainWindowHandle());
    EXPECT_EQ(dialogs, CountThreadDialogs());
    ExpectSameCounts(counts, LiveCounts());
    EXPECT_EQ(dialog, ::GetForegroundWindow());
}

TEST_F(MainWindowTest, ReopeningShowsTheCurrentStateAtOnce) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ::SendMessageA(dialog, WM_COMMAND, IDM_CLOSE, 0);
    ASSERT_EQ(nullptr, ombrel::MainWindowHandle());

    // What changed while no window was open.
    ombrel::_settings.extra._dwPort = 8765;
    ombrel::_fSongDetect = 0;
    ombrel::_fBroadcasting = 1;
    HWND again = Open();
    ASSERT_NE(nullptr, again);
    EXPECT_TRUE(::IsWindowVisible(again));
    EXPECT_EQ("8765", ItemTextA(again, IDC_OUTPUT_PORT));
    ExpectCommandState(again, true);
    EXPECT_FALSE(ButtonChecked(FindToolbar(again), IDM_SONG_DETECT));
    EXPECT_EQ(0u, MenuState(again, IDM_SONG_DETECT) & MF_CHECKED);
}

TEST_F(MainWindowTest, OpenAndCloseTwoHundredTimesLeavesNothingBehind) {
    const LiveCounts before;
    const int dialogs = CountThreadDialogs();
    for (int i = 0; i < 200; ++i) {
        HWND dialog = Open();
        ASSERT_NE(nullptr, dialog) << i;
        if (i == 0) {
            // Everything the window makes is held by an owner that counts it.
            const LiveCounts open;
            EXPECT_EQ(before.windows + 3, open.windows);  // dialog, rebar, toolbar
            EXPECT_EQ(before.imageLists + 1, open.imageLists);
            EXPECT_EQ(before.timers + 1, open.timers);
        }
        // Every way a window ends: Quit, the close command, the close box, the user's menu.
        switch (i % 4) {
        case 0: ombrel::CloseMainWindow(); break;
        case 1: ::SendMessageA(dialog, WM_COMMAND, IDM_CLOSE, 0); break;
        case 2: ::SendMessageA(dialog, WM_CLOSE, 0, 0); break;
        case 3: ::SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        }
        ASSERT_FALSE(::IsWindow(dialog)) << i;
        ASSERT_EQ(nullptr, ombrel::MainWindowHandle()) << i;
        if (i % 50 == 0) PumpMainWindow(10);
    }
    PumpMainWindow(50);
    ExpectSameCounts(before, LiveCounts());
    EXPECT_EQ(dialogs, CountThreadDialogs());
}

TEST_F(MainWindowTest, CloseWithoutAWindowDoesNothing) {
    ombrel::CloseMainWindow();
    EXPECT_EQ(nullptr, ombrel::MainWindowHandle());
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ombrel::CloseMainWindow();
    ombrel::CloseMainWindow();
    EXPECT_EQ(nullptr, ombrel::MainWindowHandle());
}

}  // namespace
}  // namespace ombrel::test
