// The number fields of the sheet: what may be left, what OK takes, what the up-downs spin to.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "plugin/PluginState.h"
#include "plugin/ProductName.h"
#include "plugin/Settings.h"
#include "tests/ui/SettingsSheetFixture.h"
#include "ui/SettingsPageIds.h"

namespace ombrel::test {
namespace {

// Texts a number field must not be left with, whatever the page.
const char* const kNotNumbers[] = {
    "",             // empty
    "abc",          // pasted letters
    "12a",          // a number followed by other characters
    "-5",           // a sign
    " 5",           // a blank
    "4294967296",   // one more than 32 bits hold
    "99999999999",  // far more
};

// ---- 出力 ----

TEST_F(SheetTest, OutputPortOutside1024To65535CannotBeLeftAndShowsTheStoredPortAgain) {
    const char* const refused[] = {"80", "1023", "65536", "0"};
    Do([&] {
        ASSERT_TRUE(Select(kOutputPage));
        for (const char* text : refused) {
            Type(kOutputPage, IDC_PORT, text);
            EXPECT_FALSE(Select(kAttributesPage)) << text;
            EXPECT_EQ(kOutputPage, CurrentPage()) << text;
            EXPECT_EQ("8010", Text(kOutputPage, IDC_PORT)) << text;
        }
        for (const char* text : kNotNumbers) {
            Type(kOutputPage, IDC_PORT, text);
            EXPECT_FALSE(Select(kAttributesPage)) << text;
            EXPECT_EQ("8010", Text(kOutputPage, IDC_PORT)) << text;
        }
        // The limits themselves are accepted.
        Type(kOutputPage, IDC_PORT, "1024");
        EXPECT_TRUE(Select(kAttributesPage));
        ASSERT_TRUE(Select(kOutputPage));
        Type(kOutputPage, IDC_PORT, "65535");
        PressOk();
    });
    RunSheet();
    EXPECT_TRUE(driver_.MessageBoxes().empty()) << "the output page shows no message";
    EXPECT_EQ(65535u, _settings.extra._dwPort);
}

TEST_F(SheetTest, OkOnTheOutputPageWithABadPortKeepsTheSheetOpen) {
    Do([&] {
        ASSERT_TRUE(Select(kOutputPage));
        Type(kOutputPage, IDC_PORT, "80");
        PressOk();
        EXPECT_TRUE(::IsWindowVisible(Sheet()));
        EXPECT_EQ("8010", Text(kOutputPage, IDC_PORT));
        PressCancel();
    });
    RunSheet();
    EXPECT_EQ(8010u, _settings.extra._dwPort);
}

TEST_F(SheetTest, ListenerLimitSpinsTo100ButThePageIsLeftOnlyWith1To50) {
    Do([&] {
        ASSERT_TRUE(Select(kOutputPage));
        Spin(kOutputPage, IDC_MAX_CLIENT, VK_UP, 120);
        EXPECT_EQ("100", Text(kOutputPage, IDC_MAX_CLIENT));
        for (const char* text : {"100", "51", "0"}) {
            Type(kOutputPage, IDC_MAX_CLIENT, text);
            EXPECT_FALSE(Select(kCodecPage)) << text;
            EXPECT_EQ(kOutputPage, CurrentPage()) << text;
            EXPECT_EQ("5", Text(kOutputPage, IDC_MAX_CLIENT)) << text;
        }
        Spin(kOutputPage, IDC_MAX_CLIENT, VK_DOWN, 10);
        EXPECT_EQ("1", Text(kOutputPage, IDC_MAX_CLIENT));
        Type(kOutputPage, IDC_MAX_CLIENT, "50");
        EXPECT_TRUE(Select(kCodecPage));
        PressOk();
    });
    RunSheet();
    EXPECT_TRUE(driver_.MessageBoxes().empty());
    EXPECT_EQ(50u, _settings.extra._dwMaxClient);
}

TEST_F(SheetTest, BothOutputFieldsComeBackWhenBothFail) {
    Do([&] {
        ASSERT_TRUE(Select(kOutputPage));
        Type(kOutputPage, IDC_PORT, "80");
        Type(kOutputPage, IDC_MAX_CLIENT, "60");
        EXPECT_FALSE(Select(kScriptPage));
        EXPECT_EQ("8010", Text(kOutputPage, IDC_PORT));
        EXPECT_EQ("5", Text(kOutputPage, IDC_MAX_CLIENT));
        // A good port does not let a bad limit through, nor the other way round.
        Type(kOutputPage, IDC_PORT, "9000");
        Type(kOutputPage, IDC_MAX_CLIENT, "60");
        EXPECT_FALSE(Select(kScriptPage));
        EXPECT_EQ("9000", Text(kOutputPage, IDC_PORT));
        Type(kOutputPage, IDC_PORT, "80");
        Type(kOutputPage, IDC_MAX_CLIENT, "7");
        EXPECT_FALSE(Select(kScriptPage));
        EXPECT_EQ("7", Text(kOutputPage, IDC_MAX_CLIENT));
        PressCancel();
    });
    RunSheet();
}

TEST_F(SheetTest, NumberFieldsSpinWithinTheirRangesWithoutThousandsSeparators) {
    _settings.extra._dwPort = 65534;
    _encoderSettings.audio.bufferWindow = 9999;
    Do([&] {
        Spin(kCodecPage, IDC_BUFFER_WINDOW, VK_UP, 2);
        EXPECT_EQ("10001", Text(kCodecPage, IDC_BUFFER_WINDOW));
        ASSERT_TRUE(Select(kOutputPage));
        Spin(kOutputPage, IDC_PORT, VK_UP, 3);
        EXPECT_EQ("65535", Text(kOutputPage, IDC_PORT));
        Type(kOutputPage, IDC_PORT, "1025");
        Spin(kOutputPage, IDC_PORT, VK_DOWN, 3);
        EXPECT_EQ("1024", Text(kOutputPage, IDC_PORT));
        ASSERT_TRUE(Select(kScriptPage));
        Spin(kScriptPage, IDC_SCRIPT_BITRATE, VK_UP, 20);
        EXPECT_EQ("10", Text(kScriptPage, IDC_SCRIPT_BITRATE));
        Spin(kScriptPage, IDC_SCRIPT_BITRATE, VK_DOWN, 20);
        EXPECT_EQ("1", Text(kScriptPage, IDC_SCRIPT_BITRATE));
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(1024u, _settings.extra._dwPort);
    EXPECT_EQ(10001u, _encoderSettings.audio.bufferWindow);
    EXPECT_EQ(1000u, _encoderSettings.script.bitrate);
}

TEST_F(SheetTest, NumberFieldsTakeDigitsOnly) {
    Do([&] {
        HWND field = Control(kCodecPage, IDC_BUFFER_WINDOW);
        ::SendMessageA(field, EM_SETSEL, 0, -1);
        for (char typed : std::string("x-+ 7")) ::SendMessageA(field, WM_CHAR, static_cast<WPARAM>(typed), 0);
        EXPECT_EQ("7", Text(kCodecPage, IDC_BUFFER_WINDOW));
        PressCancel();
    });
    RunSheet();
}

// ---- PeerCast ----

TEST_F(SheetTest, PeerCastPort80CanBeLeftButOkKeepsTheStoredPort) {
    Do([&] {
        ASSERT_TRUE(Select(kPeerCastPage));
        Type(kPeerCastPage, IDC_PORT, "80");
        EXPECT_TRUE(Select(kCodecPage));
        EXPECT_EQ("80", Text(kPeerCastPage, IDC_PORT));
        PressOk();
    });
    RunSheet();
    EXPECT_TRUE(driver_.MessageBoxes().empty());
    EXPECT_EQ(7150u, _settings.peerCast._dwPort);
}

TEST_F(SheetTest, PeerCastPortThatIsNoPortNumberCannotBeLeft) {
    Do([&] {
        ASSERT_TRUE(Select(kPeerCastPage));
        for (const char* text : {"65536", "70000"}) {
            Type(kPeerCastPage, IDC_PORT, text);
            EXPECT_FALSE(Select(kCodecPage)) << text;
            EXPECT_EQ("7150", Text(kPeerCastPage, IDC_PORT)) << text;
        }
        for (const char* text : kNotNumbers) {
            Type(kPeerCastPage, IDC_PORT, text);
            EXPECT_FALSE(Select(kCodecPage)) << text;
            EXPECT_EQ("7150", Text(kPeerCastPage, IDC_PORT)) << text;
        }
        Type(kPeerCastPage, IDC_PORT, "0");
        EXPECT_TRUE(Select(kCodecPage));
        ASSERT_TRUE(Select(kPeerCastPage));
        Type(kPeerCastPage, IDC_PORT, "2000");
        PressOk();
    });
    RunSheet();
    EXPECT_TRUE(driver_.MessageBoxes().empty());
    EXPECT_EQ(2000u, _settings.peerCast._dwPort);
}

// ---- スクリプト ----

TEST_F(SheetTest, ScriptBitrateOutside1To10WarnsInJapaneseAndKeepsTheTypedTextSelected) {
    std::vector<std::string> typed = {"0", "11"};
    for (const char* text : kNotNumbers) typed.push_back(text);
    Do([&] {
        ASSERT_TRUE(Select(kScriptPage));
        HWND field = Control(kScriptPage, IDC_SCRIPT_BITRATE);
        for (const std::string& text : typed) {
            const size_t warnings = driver_.MessageBoxes().size();
            Type(kScriptPage, IDC_SCRIPT_BITRATE, text);
            EXPECT_FALSE(Select(kPeerCastPage)) << text;
            EXPECT_EQ(kScriptPage, CurrentPage()) << text;
            EXPECT_EQ(warnings + 1, driver_.MessageBoxes().size()) << text;
            EXPECT_EQ(text, Text(kScriptPage, IDC_SCRIPT_BITRATE));
            EXPECT_EQ(field, ::GetFocus()) << text;
            DWORD start = 1, end = 0;
            ::SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(0u, start) << text;
            EXPECT_EQ(text.size(), end) << text;
        }
        Type(kScriptPage, IDC_SCRIPT_BITRATE, "10");
        EXPECT_TRUE(Select(kPeerCastPage));
        PressOk();
    });
    RunSheet();
    ASSERT_EQ(typed.size(), driver_.MessageBoxes().size());
    for (const MessageBoxSeen& box : driver_.MessageBoxes()) {
        EXPECT_EQ(kProductName, box.caption);
        EXPECT_EQ(Cp932("スクリプトのビットレートは1K～10Kbpsです。"), box.text);
        if (JapaneseCodePage()) {
            EXPECT_EQ(Wide("スクリプトのビットレートは1K～10Kbpsです。"), box.wideText);
        }
        EXPECT_EQ(1, box.buttons) << "one OK button";
        EXPECT_TRUE(box.hasIcon) << "a warning icon";
    }
    EXPECT_EQ(10000u, _encoderSettings.script.bitrate);
}

TEST_F(SheetTest, OkOnTheScriptPageWithABadBitrateWarnsAndKeepsTheSheetOpen) {
    Do([&] {
        ASSERT_TRUE(Select(kScriptPage));
        Type(kScriptPage, IDC_SCRIPT_BITRATE, "0");
        PressOk();
        EXPECT_TRUE(::IsWindowVisible(Sheet()));
        EXPECT_EQ(1u, driver_.MessageBoxes().size());
        Type(kScriptPage, IDC_SCRIPT_BITRATE, "3");
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(3000u, _encoderSettings.script.bitrate);
}

TEST_F(SheetTest, StoredBitrateOf1500ShowsAs1AndOkAfterVisitingStores1000) {
    _encoderSettings.script.bitrate = 1500;
    Do([&] {
        ASSERT_TRUE(Select(kScriptPage));
        EXPECT_EQ("1", Text(kScriptPage, IDC_SCRIPT_BITRATE));
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(1000u, _encoderSettings.script.bitrate);
}

TEST_F(SheetTest, StoredBitrateOutsideTheRangeShowsAsStoredAndMustBeCorrected) {
    _encoderSettings.script.bitrate = 25000;
    Do([&] {
        ASSERT_TRUE(Select(kScriptPage));
        EXPECT_EQ("25", Text(kScriptPage, IDC_SCRIPT_BITRATE));
        EXPECT_FALSE(Select(kCodecPage));
        PressCancel();
    });
    RunSheet();
    EXPECT_EQ(1u, driver_.MessageBoxes().size());
    EXPECT_EQ(25000u, _encoderSettings.script.bitrate);
}

TEST_F(SheetTest, BufferWindowsThatDoNotParseKeepTheStoredValues) {
    Do([&] {
        // No leave check on either field.
        Type(kCodecPage, IDC_BUFFER_WINDOW, "");
        ASSERT_TRUE(Select(kScriptPage));
        Type(kScriptPage, IDC_BUFFER_WINDOW, "4294967296");
        EXPECT_TRUE(Select(kCodecPage));
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(4000u, _encoderSettings.audio.bufferWindow);
    EXPECT_EQ(3000u, _encoderSettings.script.bufferWindow);
}

TEST_F(SheetTest, BufferWindowsTakeEveryUnsigned32BitNumber) {
    Do([&] {
        Type(kCodecPage, IDC_BUFFER_WINDOW, "4294967295");
        ASSERT_TRUE(Select(kScriptPage));
        Type(kScriptPage, IDC_BUFFER_WINDOW, "0");
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(4294967295u, _encoderSettings.audio.bufferWindow);
    EXPECT_EQ(0u, _encoderSettings.script.bufferWindow);
}

TEST_F(SheetTest, StoredNumbersOutsideTheUpDownRangesShowAsStored) {
    _encoderSettings.audio.bufferWindow = 4294967295u;
    _settings.extra._dwPort = 80;
    _settings.extra._dwMaxClient = 0;
    Do([&] {
        EXPECT_EQ("4294967295", Text(kCodecPage, IDC_BUFFER_WINDOW));
        ASSERT_TRUE(Select(kOutputPage));
        EXPECT_EQ("80", Text(kOutputPage, IDC_PORT));
        EXPECT_EQ("0", Text(kOutputPage, IDC_MAX_CLIENT));
        PressCancel();
    });
    RunSheet();
}

}  // namespace
}  // namespace ombrel::test
