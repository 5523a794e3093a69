// The sheet's life: Quit closing an open sheet, the remembered window forgotten however the
// sheet closes, and nothing left behind after many openings.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "tests/common/Files.h"
#include "tests/ui/SettingsSheetFixture.h"
#include "ui/SettingsPageIds.h"
#include "ui/SettingsSheet.h"
#include "ui/SettingsSheetWindow.h"
#include "win/GdiWrappers.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// Top-level windows of this thread, shown or not.
int ThreadWindowCount() {
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Live owners of every kind of handle wrapper.
std::vector<long> LiveObjects() {
    return {win::UniqueHandle::LiveCount(),     win::UniqueThread::LiveCount(),    win::UniqueEvent::LiveCount(),
            win::UniqueFile::LiveCount(),       win::UniqueFind::LiveCount(),      win::UniqueHook::LiveCount(),
            win::UniqueModule::LiveCount(),     win::UniqueWindow::LiveCount(),    win::UniqueGdiObject::LiveCount(),
            win::UniqueThreadTimer::LiveCount(), win::UniqueMemoryDc::LiveCount(), win::UniqueImageList::LiveCount(),
            win::WindowDc::LiveCount(),         ThreadWindowCount()};
}

// Quit, from inside the sheet's loop (the player unloading the plug-in while the sheet is up):
// the sheet closes as by Cancel, even on a page whose check would refuse to be left.
TEST_F(SheetTest, QuitClosesAnOpenSheetOnAnyPageWithoutStoringAnything) {
    const std::string before = DescribeSettings();
    const struct {
        int page;
        int field;
        const char* typed;
    } cases[] = {
        {kCodecPage, IDC_BUFFER_WINDOW, "123"},   // the page that remembers the sheet
        {kOutputPage, IDC_PORT, "80"},            // a port the page refuses to leave
        {kScriptPage, IDC_SCRIPT_BITRATE, "0"},   // a bit rate that would warn
    };
    for (const auto& c : cases) {
        Do([&] {
            if (c.page != kCodecPage) {
                ASSERT_TRUE(Select(c.page));
            }
            Type(c.page, c.field, c.typed);
            EXPECT_EQ(Sheet(), RememberedSheetWindow());
            CloseSettingsSheet();
            EXPECT_EQ(nullptr, RememberedSheetWindow());
        });
        RunSheet();
        EXPECT_EQ(before, DescribeSettings()) << "page " << c.page;
    }
    EXPECT_TRUE(driver_.MessageBoxes().empty());
    EXPECT_EQ(DescribeSettings(false), DescribeSettingsFile(IniPath()));
    EXPECT_TRUE(::IsWindowEnabled(Owner()));
}

TEST_F(SheetTest, TheSheetIsForgottenHoweverItClosesSoQuitLaterSendsNothing) {
    const struct {
        int page;
        bool ok;
    } cases[] = {{kPeerCastPage, true}, {kOutputPage, false}, {kCodecPage, true}, {kCodecPage, false}};
    for (const auto& c : cases) {
        Do([&] {
            if (c.page != kCodecPage) {
                ASSERT_TRUE(Select(c.page));
            }
            c.ok ? PressOk() : PressCancel();
        });
        RunSheet();
        EXPECT_EQ(nullptr, RememberedSheetWindow()) << "page " << c.page << (c.ok ? " OK" : " Cancel");
    }
    // With nothing open, Quit's call leaves every window alone.
    const int windows = ThreadWindowCount();
    CloseSettingsSheet();
    EXPECT_EQ(windows, ThreadWindowCount());
    EXPECT_TRUE(::IsWindow(Owner()));
}

// Every way of closing, each page created in some of the rounds, OK without edits: nothing
// is left alive and nothing has changed.
TEST_F(SheetTest, OpeningAndClosingTheSheet200TimesLeavesNothingBehind) {
    const std::string before = DescribeSettings();
    const std::vector<long> live = LiveObjects();
    for (int round = 0; round < 200; ++round) {
        Do([this, round] {
            switch (round % 4) {
            case 0:
                PressCancel();
                break;
            case 1:
                PressOk();
                break;
            case 2:
                for (int page = kOutputPage; page < kPageCount; ++page) ASSERT_TRUE(Select(page));
                PressOk();
                break;
            default:
                ASSERT_TRUE(Select(kScriptPage));
                CloseSettingsSheet();
                break;
            }
        });
        RunSheet();
        if (HasFailure()) break;
    }
    EXPECT_EQ(live, LiveObjects());
    EXPECT_EQ(before, DescribeSettings());
    EXPECT_EQ(nullptr, RememberedSheetWindow());
    EXPECT_TRUE(FileExists(IniPath()));
}

}  // namespace
}  // namespace ombrel::test
