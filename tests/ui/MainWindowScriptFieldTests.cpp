// The script field (1044) as song tracking writes it: at once from the window's own thread,
// through the window's queue from any other, never waiting for the window's thread.
#include <gtest/gtest.h>

#include <string>

#include "tests/ui/MainWindowTestSupport.h"

namespace ombrel::test {
namespace {

struct ThreadText {
    const char* text;
};

DWORD WINAPI ShowFromThread(void* parameter) {
    ombrel::ShowScriptText(static_cast<ThreadText*>(parameter)->text);
    return 0;
}

// Runs ShowScriptText(text) on a thread of its own and waits for that thread without
// dispatching anything, as a broadcast stop waits for the song worker. True when it ended.
bool ShowOnOtherThreadAndJoin(const char* text) {
    ThreadText parameter{text};
    win::UniqueThread thread(::CreateThread(nullptr, 0, ShowFromThread, &parameter, 0, nullptr));
    if (!thread) return false;
    return ::WaitForSingleObject(thread.get(), 5000) == WAIT_OBJECT_0;
}

TEST_F(MainWindowTest, ScriptTextFromTheWindowsThreadShowsAtOnce) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ombrel::ShowScriptText("Artist - Title");
    EXPECT_EQ("Artist - Title", ItemTextA(dialog, IDC_SCRIPT_TEXT));
    ombrel::ShowScriptText(nullptr);
    EXPECT_EQ("", ItemTextA(dialog, IDC_SCRIPT_TEXT));
}

TEST_F(MainWindowTest, ScriptTextFromAnotherThreadNeverWaitsForTheWindowsThread) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    // This thread dispatches nothing until the writer has ended.
    ASSERT_TRUE(ShowOnOtherThreadAndJoin("from the worker"));
    EXPECT_EQ("", ItemTextA(dialog, IDC_SCRIPT_TEXT));
    EXPECT_TRUE(PumpMainWindowUntil(1000, [&] { return ItemTextA(dialog, IDC_SCRIPT_TEXT) == "from the worker"; }))
        << ItemTextA(dialog, IDC_SCRIPT_TEXT);
}

TEST_F(MainWindowTest, ScriptTextFromAnotherThreadKeepsOnlyTheLatest) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(ShowOnOtherThreadAndJoin("first"));
    ASSERT_TRUE(ShowOnOtherThreadAndJoin("second"));
    PumpMainWindow(100);
    EXPECT_EQ("second", ItemTextA(dialog, IDC_SCRIPT_TEXT));
}

TEST_F(MainWindowTest, RefreshDropsScriptTextOlderThanIt) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(ShowOnOtherThreadAndJoin("sent before the refresh"));
    ::SendMessageA(dialog, WM_COMMAND, IDM_SONG_DETECT, 0);
    PumpMainWindow(100);
    EXPECT_EQ("", ItemTextA(dialog, IDC_SCRIPT_TEXT));
    // The window's own thread writing later wins over anything still queued.
    ASSERT_TRUE(ShowOnOtherThreadAndJoin("queued"));
    ombrel::ShowScriptText("newest");
    PumpMainWindow(100);
    EXPECT_EQ("newest", ItemTextA(dialog, IDC_SCRIPT_TEXT));
}

TEST_F(MainWindowTest, ScriptTextWithoutAWindowGoesNowhere) {
    ASSERT_EQ(nullptr, ombrel::MainWindowHandle());
    ombrel::ShowScriptText("nobody sees this");
    ASSERT_TRUE(ShowOnOtherThreadAndJoin("nor this"));
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    PumpMainWindow(100);
    EXPECT_EQ("", ItemTextA(dialog, IDC_SCRIPT_TEXT));
}

TEST_F(MainWindowTest, ScriptTextLeftForAClosedWindowDoesNotReachTheNextOne) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    ASSERT_TRUE(ShowOnOtherThreadAndJoin("for the old window"));
    ombrel::CloseMainWindow();
    HWND again = Open();
    ASSERT_NE(nullptr, again);
    PumpMainWindow(100);
    EXPECT_EQ("", ItemTextA(again, IDC_SCRIPT_TEXT));
}

}  // namespace
}  // namespace ombrel::test
