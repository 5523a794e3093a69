// The main window's commands: which are available while broadcasting and while idle, song
// detection, the script field emptied by every refresh, Enter and Escape, closing.
#include <gtest/gtest.h>

#include "tests/ui/MainWindowTestSupport.h"
#include "win/WindowTimer.h"

namespace ombrel::test {
namespace {

void ExpectSongDetect(HWND dialog, bool on) {
    EXPECT_EQ(on, ButtonChecked(FindToolbar(dialog), IDM_SONG_DETECT));
    EXPECT_EQ(on, (MenuState(dialog, IDM_SONG_DETECT) & MF_CHECKED) != 0);
}

TEST_F(MainWindowTest, OpensIdleWithSongDetectionCheckedAndAnEmptyScriptField) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ExpectCommandState(dialog, false);
    ExpectSongDetect(dialog, true);
    EXPECT_EQ(L"", ItemText(dialog, IDC_SCRIPT_TEXT));
}

TEST_F(MainWindowTest, OpensWithSongDetectionUncheckedWhenItIsOff) {
    ombrel::_fSongDetect = 0;
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ExpectSongDetect(dialog, false);
}

TEST_F(MainWindowTest, StartWhileBroadcastingStartsNothingAndShowsTheBroadcastingState) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    // A broadcast the window did not start: the flag alone, no encoder.
    ombrel::_fBroadcasting = 1;
    ::SetDlgItemTextA(dialog, IDC_SCRIPT_TEXT, "old title");
    Command(dialog, IDM_START_BROADCAST);
    ExpectCommandState(dialog, true);
    EXPECT_EQ(L"", ItemText(dialog, IDC_SCRIPT_TEXT));
    EXPECT_EQ(1, ombrel::IsBroadcasting());
    // A start would have made an encoder to lend.
    ombrel::LiveEncoder* encoder = nullptr;
    EXPECT_EQ(E_FAIL, ombrel::GetEncoder(&encoder));
}

TEST_F(MainWindowTest, StopWhileIdleStopsNothingAndShowsTheIdleState) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ombrel::_fBroadcasting = 1;
    Command(dialog, IDM_START_BROADCAST);
    ExpectCommandState(dialog, true);
    // The broadcast ended elsewhere; the stop command only refreshes.
    ombrel::_fBroadcasting = 0;
    ::SetDlgItemTextA(dialog, IDC_SCRIPT_TEXT, "old title");
    Command(dialog, IDM_STOP_BROADCAST);
    ExpectCommandState(dialog, false);
    EXPECT_EQ(L"", ItemText(dialog, IDC_SCRIPT_TEXT));
    EXPECT_EQ(0, ombrel::IsBroadcasting());
}

TEST_F(MainWindowTest, StopWhileBroadcastingEndsTheBroadcastAndShowsTheIdleState) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ombrel::_fBroadcasting = 1;
    Command(dialog, IDM_START_BROADCAST);
    ExpectCommandState(dialog, true);
    Command(dialog, IDM_STOP_BROADCAST);
    EXPECT_EQ(0, ombrel::IsBroadcasting());
    ExpectCommandState(dialog, false);
}

TEST_F(MainWindowTest, SongDetectionTogglesTheFlagTheCheckMarksAndEmptiesTheScriptField) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    for (LONG expected : {0, 1, 0}) {
        ::SetDlgItemTextA(dialog, IDC_SCRIPT_TEXT, "a title");
        Command(dialog, IDM_SONG_DETECT);
        EXPECT_EQ(expected, ombrel::_fSongDetect.load());
        ExpectSongDetect(dialog, expected != 0);
        EXPECT_EQ(L"", ItemText(dialog, IDC_SCRIPT_TEXT));
        // Song detection changes nothing else.
        ExpectCommandState(dialog, false);
    }
}

// A click as the mouse makes it, at the middle of the button.
void ClickButton(HWND toolbar, int id) {
    RECT r{};
    ASSERT_TRUE(::SendMessageA(toolbar, TB_GETRECT, id, reinterpret_cast<LPARAM>(&r)));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessageA(toolbar, WM_MOUSEMOVE, 0, at);
    ::SendMessageA(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageA(toolbar, WM_LBUTTONUP, 0, at);
}

TEST_F(MainWindowTest, ClickingTheToolbarsSongDetectionButtonReachesTheWindow) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    HWND toolbar = FindToolbar(dialog);
    ASSERT_NE(nullptr, toolbar);
    ClickButton(toolbar, IDM_SONG_DETECT);
    PumpMainWindow(50);
    EXPECT_EQ(0, ombrel::_fSongDetect.load());
    ExpectSongDetect(dialog, false);
    ClickButton(toolbar, IDM_SONG_DETECT);
    PumpMainWindow(50);
    EXPECT_EQ(1, ombrel::_fSongDetect.load());
    ExpectSongDetect(dialog, true);
}

TEST_F(MainWindowTest, EnterAndEscapeLeaveTheWindowOpen) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    // The commands a dialog turns Enter and Escape into.
    Command(dialog, IDOK);
    Command(dialog, IDCANCEL);
    EXPECT_TRUE(::IsWindow(dialog));
    EXPECT_EQ(dialog, ombrel::MainWindowHandle());

    // The keys themselves, through IsDialogMessage as a host's loop passes them.
    ::SetFocus(dialog);
    for (WPARAM key : {WPARAM(VK_RETURN), WPARAM(VK_ESCAPE)}) {
        HWND focus = ::GetFocus() ? ::GetFocus() : dialog;
        ::PostMessageA(focus, WM_KEYDOWN, key, 1);
        ::PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
        PumpMainWindow(100);
        EXPECT_TRUE(::IsWindow(dialog)) << "key " << key;
        EXPECT_EQ(dialog, ombrel::MainWindowHandle()) << "key " << key;
    }
    // The close box still closes it.
    ::SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(nullptr, ombrel::MainWindowHandle());
}

TEST_F(MainWindowTest, EnterAndEscapeAreHandledWithoutAction) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ombrel::_fBroadcasting = 1;
    Command(dialog, IDM_START_BROADCAST);
    ombrel::_fBroadcasting = 0;
    ::SetDlgItemTextA(dialog, IDC_SCRIPT_TEXT, "kept");
    const LONG songDetect = ombrel::_fSongDetect.load();
    Command(dialog, IDOK);
    Command(dialog, IDCANCEL);
    // No refresh (the field and the broadcasting state shown stay), no toggle.
    EXPECT_EQ(L"kept", ItemText(dialog, IDC_SCRIPT_TEXT));
    ExpectCommandState(dialog, true);
    EXPECT_EQ(songDetect, ombrel::_fSongDetect.load());
}

TEST_F(MainWindowTest, CloseCommandDestroysTheWindowAndItsMonitorTimerButNotTheBroadcast) {
    const long timersBefore = win::WindowTimer::LiveCount();
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(timersBefore + 1, win::WindowTimer::LiveCount());
    ombrel::_fBroadcasting = 1;
    Command(dialog, IDM_CLOSE);
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(nullptr, ombrel::MainWindowHandle());
    EXPECT_EQ(timersBefore, win::WindowTimer::LiveCount());
    EXPECT_EQ(1, ombrel::IsBroadcasting());
    // The owner lives on.
    EXPECT_TRUE(::IsWindow(owner_.get()));
}

TEST_F(MainWindowTest, ClosingTheOwnerTakesTheWindowAlongAndForgetsItsHandle) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    owner_.reset();
    EXPECT_FALSE(::IsWindow(dialog));
    EXPECT_EQ(nullptr, ombrel::MainWindowHandle());
    // And it opens again afterwards.
    owner_ = CreateOwnerWindow();
    HWND again = Open();
    ASSERT_NE(nullptr, again);
    EXPECT_TRUE(::IsWindowVisible(again));
}

}  // namespace
}  // namespace ombrel::test
