// The About box under Wine: what it shows, where, and what closes it.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "plugin/ProductName.h"
#include "tests/common/PlayerWindow.h"
#include "tests/ui/SettingsSheetDriver.h"
#include "ui/AboutBox.h"
#include "ui/ResourceIds.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

class AboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RunsUnderTheExpectedCodePage()) << "system code page " << ::GetACP();
        owner_ = CreateOwnerWindow();
        ASSERT_TRUE(owner_);
    }

    // The box: a dialog of this thread owned by the owner window.
    HWND Box() const {
        for (HWND window : ThreadWindows())
            if (ClassName(window) == "#32770" && ::GetWindow(window, GW_OWNER) == owner_.get()) return window;
        return nullptr;
    }

    // Runs the box; step runs on it once it is up, then the box must close by itself.
    void RunWith(const std::function<void(HWND)>& step) {
        HWND seen = nullptr;
        driver_.When([this] { return Box() != nullptr; },
                     [&] {
                         seen = Box();
                         step(seen);
                     });
        driver_.Run([this] { ombrel::RunAboutBox(::GetModuleHandleA(nullptr), owner_.get()); }, 15000);
        EXPECT_FALSE(driver_.TimedOut()) << "the box did not close";
        EXPECT_TRUE(driver_.AllStepsRan());
        EXPECT_TRUE(seen && !::IsWindow(seen));
        EXPECT_TRUE(::IsWindowEnabled(owner_.get()));
    }

    win::UniqueWindow owner_;
    ModalDriver driver_{kProductName};
};

TEST_F(AboutBoxTest, NamesThePlugInAndItsVersionInJapaneseAtTheOwnersClientOrigin) {
    RunWith([&](HWND box) {
        EXPECT_EQ("Ombrel DSP plugin" + Cp932(" バージョン情報"), WindowTextA(box));
        if (JapaneseCodePage()) {
            EXPECT_EQ(Wide("Ombrel DSP plugin バージョン情報"), WindowTextW(box));
        }
        EXPECT_EQ(kProductName, WindowTextA(::GetDlgItem(box, IDC_ABOUT_PRODUCT)));
        // The maker's notice: the one other text of the box.
        std::wstring notice;
        for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
            if (ClassName(child) == "Static" && ::GetDlgCtrlID(child) != IDC_ABOUT_PRODUCT) notice = WindowTextW(child);
        EXPECT_NE(std::wstring::npos, notice.find(L"Ombrel")) << Utf8(notice);
        // OK is the default button and has the focus.
        HWND ok = ::GetDlgItem(box, IDOK);
        EXPECT_EQ(MAKELONG(IDOK, DC_HASDEFID), ::SendMessageA(box, DM_GETDEFID, 0, 0));
        EXPECT_EQ(ok, ::GetFocus());
        EXPECT_EQ("OK", WindowTextA(ok));
        // Modal to the owner; its client area starts where the owner's does.
        EXPECT_FALSE(::IsWindowEnabled(owner_.get()));
        POINT ownerOrigin{0, 0};
        ::ClientToScreen(owner_.get(), &ownerOrigin);
        POINT boxOrigin{0, 0};
        ::ClientToScreen(box, &boxOrigin);
        EXPECT_EQ(ownerOrigin.x, boxOrigin.x);
        EXPECT_EQ(ownerOrigin.y, boxOrigin.y);
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
}

// Each way the user can close it; the keys go through the box's own loop as typed.
TEST_F(AboutBoxTest, EnterEscapeTheOkButtonAndTheCloseBoxCloseIt) {
    const struct {
        const char* way;
        std::function<void(HWND)> act;
    } ways[] = {
        {"Enter", [](HWND) { ::PostMessageA(::GetFocus(), WM_KEYDOWN, VK_RETURN, 0x001C0001); }},
        {"Escape", [](HWND) { ::PostMessageA(::GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
        {"OK button", [](HWND box) { ::PostMessageA(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0); }},
        {"close box", [](HWND box) { ::PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"close message", [](HWND box) { ::PostMessageA(box, WM_CLOSE, 0, 0); }},
        {"command 1", [](HWND box) { ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }},
        {"command 2", [](HWND box) { ::PostMessageA(box, WM_COMMAND, IDCANCEL, 0); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        RunWith(way.act);
    }
}

TEST_F(AboutBoxTest, NoOtherCommandOrControlClosesIt) {
    RunWith([&](HWND box) {
        for (WORD id : {WORD(0), WORD(3), WORD(IDC_ABOUT_PRODUCT), WORD(IDM_SETTINGS), WORD(0xFFFF)})
            ::SendMessageA(box, WM_COMMAND, id, 0);
        for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            if (ClassName(child) != "Static") continue;
            ::SendMessageA(child, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            ::SendMessageA(child, WM_LBUTTONUP, 0, 0);
        }
        ::SendMessageA(::GetFocus(), WM_KEYDOWN, VK_TAB, 0);
        ::SendMessageA(::GetFocus(), WM_CHAR, 'a', 0);
        EXPECT_TRUE(::IsWindowVisible(box));
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
}

}  // namespace
}  // namespace ombrel::test
