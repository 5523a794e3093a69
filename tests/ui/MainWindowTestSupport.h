// The main window opened for real under Wine, owned by a top-level window that stands in for
// the player's, and read back through the controls themselves.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "plugin/BroadcastControl.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "tests/common/MessagePump.h"
#include "tests/common/PlayerWindow.h"
#include "ui/MainWindow.h"
#include "ui/ResourceIds.h"
#include "win/UniqueAny.h"

namespace ombrel::test {

inline HINSTANCE Instance() { return ::GetModuleHandleA(nullptr); }

// Dispatches this thread's messages as a host that supports modeless dialogs does: the main
// window's keyboard messages go through IsDialogMessage.
template <typename Done>
bool PumpMainWindowUntil(DWORD ms, Done done) {
    return PumpUntil(ms, done, [] { return ombrel::MainWindowHandle(); });
}

inline void PumpMainWindow(DWORD ms) {
    PumpMainWindowUntil(ms, [] { return false; });
}

inline std::wstring ItemText(HWND dialog, int id) {
    WCHAR text[512] = {};
    ::GetDlgItemTextW(dialog, id, text, ARRAYSIZE(text));
    return text;
}

inline std::string ItemTextA(HWND dialog, int id) {
    char text[512] = {};
    ::GetDlgItemTextA(dialog, id, text, ARRAYSIZE(text));
    return text;
}

inline std::string ToCodePage(const std::wstring& text, UINT codePage) {
    int size = ::WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) ::WideCharToMultiByte(codePage, 0, text.c_str(), -1, &bytes[0], size, nullptr, nullptr);
    return bytes;
}

inline std::wstring FromCodePage(const std::string& bytes, UINT codePage) {
    int size = ::MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, nullptr, 0);
    std::wstring text(size > 0 ? size - 1 : 0, L'\0');
    if (size > 1) ::MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, &text[0], size);
    return text;
}

// Dialog controls take their template text through the system code page when the dialog is
// created with the narrow functions: exact under code page 932, question marks elsewhere.
inline std::wstring AsTheSystemShowsIt(const std::wstring& text) {
    return FromCodePage(ToCodePage(text, CP_ACP), CP_ACP);
}

inline HWND FindRebar(HWND dialog) { return ::FindWindowExA(dialog, nullptr, REBARCLASSNAMEA, nullptr); }

inline HWND FindToolbar(HWND dialog) {
    HWND rebar = FindRebar(dialog);
    return rebar ? ::GetDlgItem(rebar, IDC_TOOLBAR) : nullptr;
}

inline bool ButtonEnabled(HWND toolbar, int id) {
    return ::SendMessageA(toolbar, TB_ISBUTTONENABLED, id, 0) != 0;
}

inline bool ButtonChecked(HWND toolbar, int id) {
    return ::SendMessageA(toolbar, TB_ISBUTTONCHECKED, id, 0) != 0;
}

inline UINT MenuState(HWND dialog, UINT id) { return ::GetMenuState(::GetMenu(dialog), id, MF_BYCOMMAND); }

inline bool MenuGrayed(HWND dialog, UINT id) { return (MenuState(dialog, id) & MF_GRAYED) != 0; }

inline void Command(HWND dialog, UINT id) { ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

// What a user sees of the commands, on the toolbar and in the menu alike: start and settings
// only while idle, stop only while broadcasting, the others always.
inline void ExpectCommandState(HWND dialog, bool broadcasting) {
    HWND toolbar = FindToolbar(dialog);
    ASSERT_NE(nullptr, toolbar);
    EXPECT_EQ(!broadcasting, ButtonEnabled(toolbar, IDM_START_BROADCAST));
    EXPECT_EQ(!broadcasting, ButtonEnabled(toolbar, IDM_SETTINGS));
    EXPECT_EQ(broadcasting, ButtonEnabled(toolbar, IDM_STOP_BROADCAST));
    EXPECT_EQ(broadcasting, MenuGrayed(dialog, IDM_START_BROADCAST));
    EXPECT_EQ(broadcasting, MenuGrayed(dialog, IDM_SETTINGS));
    EXPECT_EQ(!broadcasting, MenuGrayed(dialog, IDM_STOP_BROADCAST));
    EXPECT_TRUE(ButtonEnabled(toolbar, IDM_ABOUT));
    EXPECT_TRUE(ButtonEnabled(toolbar, IDM_SONG_DETECT));
    EXPECT_FALSE(MenuGrayed(dialog, IDM_CLOSE));
    EXPECT_FALSE(MenuGrayed(dialog, IDM_ABOUT));
}

// Restores the plug-in-wide state a test touches, and opens the main window over an owner.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The code page 932 run must really have it.
        if (const char* expected = std::getenv("OMBREL_EXPECT_ACP")) {
            ASSERT_EQ(UINT(std::atoi(expected)), ::GetACP());
        }
        savedBroadcasting_ = ombrel::_fBroadcasting.load();
        savedSongDetect_ = ombrel::_fSongDetect.load();
        savedPort_ = ombrel::_settings.extra._dwPort;
        ombrel::_fBroadcasting = 0;
        ombrel::_fSongDetect = 1;
        ombrel::_settings.extra._dwPort = 8008;
        owner_ = CreateOwnerWindow();
        ASSERT_TRUE(owner_) << "owner window, error " << ::GetLastError();
    }

    void TearDown() override {
        ombrel::CloseMainWindow();
        if (ombrel::IsBroadcasting()) ombrel::StopBroadcast();
        owner_.reset();
        ombrel::_fBroadcasting = savedBroadcasting_;
        ombrel::_fSongDetect = savedSongDetect_;
        ombrel::_settings.extra._dwPort = savedPort_;
    }

    HWND Open() {
        ombrel::OpenMainWindow(Instance(), owner_.get());
        return ombrel::MainWindowHandle();
    }

    win::UniqueWindow owner_;

private:
    LONG savedBroadcasting_ = 0;
    LONG savedSongDetect_ = 1;
    DWORD savedPort_ = 0;
};

}  // namespace ombrel::test
