// The play log's file chooser behind "..." on the output page: the platform's save dialog,
// found on the screen and answered as a user would.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <prsht.h>

#include <string>

#include "plugin/Settings.h"
#include "tests/common/Files.h"
#include "tests/ui/SettingsSheetFixture.h"
#include "ui/SettingsPageIds.h"

namespace ombrel::test {
namespace {

// The chooser: a dialog of this thread titled "ログファイル".
HWND Chooser() {
    const std::string title = Cp932("ログファイル");
    for (HWND window : ThreadWindows())
        if (ClassName(window) == "#32770" && WindowTextA(window) == title) return window;
    return nullptr;
}

// The chooser's file name field: the explorer-style box, or the old-style edit.
HWND FileNameField(HWND chooser) {
    if (HWND box = ::GetDlgItem(chooser, cmb13)) return box;
    return ::GetDlgItem(chooser, edt1);
}

// A message box the chooser shows over itself.
HWND BoxOver(HWND chooser) {
    for (HWND window : ThreadWindows())
        if (window != chooser && ::GetWindow(window, GW_OWNER) == chooser) return window;
    return nullptr;
}

int Buttons(HWND box) {
    int buttons = 0;
    for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        buttons += ClassName(child) == "Button" && ::IsWindowVisible(child);
    return buttons;
}

class LogChooserTest : public SheetTest {
protected:
    // Opens the chooser with a click on "...", as the mouse would.
    void ClickBrowse() {
        Do([&] {
            ASSERT_TRUE(Select(kOutputPage));
            ::PostMessageA(Control(kOutputPage, IDC_PLAY_LOG_BROWSE), BM_CLICK, 0, 0);
        });
    }
    // Then, once it is on the screen, runs action on it.
    void WithChooser(std::function<void(HWND)> action) {
        DoWhen([] { return Chooser() != nullptr; }, [action] { action(Chooser()); });
    }
    void AfterChooserCloses(std::function<void()> action) {
        DoWhen([] { return Chooser() == nullptr; }, std::move(action));
    }
};

TEST_F(LogChooserTest, OpensWithTheFieldsFileTheTwoJapaneseFiltersAndNoChangeOnCancel) {
    _settings.extra._cPlayLog = Folder().File("current.txt");
    ClickBrowse();
    WithChooser([&](HWND chooser) {
        EXPECT_EQ(Sheet(), ::GetWindow(chooser, GW_OWNER));
        if (JapaneseCodePage()) {
            EXPECT_EQ(Wide("ログファイル"), WindowTextW(chooser));
        }
        EXPECT_EQ("current.txt", WindowTextA(FileNameField(chooser)));
        HWND types = ::GetDlgItem(chooser, cmb1);
        ASSERT_EQ(2, ::SendMessageA(types, CB_GETCOUNT, 0, 0));
        char text[256] = "";
        ::SendMessageA(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(Cp932("ログファイル (*.txt)"), std::string(text));
        ::SendMessageA(types, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(Cp932("すべてのファイル (*.*)"), std::string(text));
        if (JapaneseCodePage()) {
            wchar_t wide[256] = L"";
            ::SendMessageW(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(wide));
            EXPECT_EQ(Wide("ログファイル (*.txt)"), std::wstring(wide));
        }
        EXPECT_EQ(0, ::SendMessageA(types, CB_GETCURSEL, 0, 0));
        ::PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
    });
    AfterChooserCloses([&] {
        EXPECT_EQ(Folder().File("current.txt"), Text(kOutputPage, IDC_PLAY_LOG_PATH));
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(Folder().File("current.txt"), _settings.extra._cPlayLog);
}

TEST_F(LogChooserTest, AChosenFileReplacesTheFieldButCancellingTheSheetKeepsThePlayLog) {
    const std::string chosen = Folder().File("chosen.txt");
    ClickBrowse();
    WithChooser([&](HWND chooser) {
        ::SetWindowTextA(FileNameField(chooser), chosen.c_str());
        ::PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    });
    AfterChooserCloses([&] {
        EXPECT_EQ(chosen, Text(kOutputPage, IDC_PLAY_LOG_PATH));
        PressCancel();
    });
    RunSheet();
    EXPECT_EQ("C:\\logs\\play.txt", _settings.extra._cPlayLog);
    EXPECT_FALSE(FileExists(chosen)) << "the chooser creates no file";
}

// The player's current folder is its own: choosing a log elsewhere leaves it where it was
// (and leaves the log's folder free to be removed).
TEST_F(LogChooserTest, AChosenFileIsStoredOnOkAndThePlayersCurrentFolderStays) {
    const std::string exeFolder = ExeFolder();
    ASSERT_TRUE(::SetCurrentDirectoryA(exeFolder.c_str()));
    _settings.extra._cPlayLog = Folder().File("old-log.txt");
    const std::string chosen = Folder().File("ombrel-log.txt");
    ClickBrowse();
    WithChooser([&](HWND chooser) {
        ::SetWindowTextA(FileNameField(chooser), chosen.c_str());
        ::PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    });
    AfterChooserCloses([&] { PressOk(); });
    RunSheet();
    EXPECT_EQ(chosen, _settings.extra._cPlayLog);
    EXPECT_FALSE(FileExists(chosen));
    char after[MAX_PATH] = "";
    ::GetCurrentDirectoryA(MAX_PATH, after);
    EXPECT_EQ(exeFolder, std::string(after));
}

TEST_F(LogChooserTest, AsksBeforeReplacingAFileAndRefusesAMissingFolder) {
    const std::string existing = Folder().File("existing.txt");
    ASSERT_TRUE(WriteWholeFile(existing, "kept"));
    HWND chooser = nullptr;
    ClickBrowse();
    WithChooser([&](HWND found) {
        chooser = found;
        ::SetWindowTextA(FileNameField(chooser), existing.c_str());
        ::PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    });
    DoWhen([&] { return BoxOver(chooser) != nullptr; },
           [&] {
               HWND box = BoxOver(chooser);
               EXPECT_EQ(2, Buttons(box)) << "yes and no";
               ::PostMessageA(box, WM_COMMAND, IDNO, 0);
           });
    DoWhen([&] { return BoxOver(chooser) == nullptr; },
           [&] {
               ASSERT_TRUE(::IsWindow(chooser)) << "a file not to be replaced is not chosen";
               ::SetWindowTextA(FileNameField(chooser), Folder().File("missing\\x.txt").c_str());
               ::PostMessageA(chooser, WM_COMMAND, IDOK, 0);
           });
    DoWhen([&] { return BoxOver(chooser) != nullptr; },
           [&] { ::PostMessageA(BoxOver(chooser), WM_COMMAND, IDOK, 0); });
    DoWhen([&] { return BoxOver(chooser) == nullptr; },
           [&] {
               ASSERT_TRUE(::IsWindow(chooser)) << "a path in a missing folder is not chosen";
               ::PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
           });
    AfterChooserCloses([&] {
        EXPECT_EQ("C:\\logs\\play.txt", Text(kOutputPage, IDC_PLAY_LOG_PATH));
        PressCancel();
    });
    RunSheet();
    EXPECT_EQ("kept", ombrel::test::ReadWholeFile(existing));
}

}  // namespace
}  // namespace ombrel::test
