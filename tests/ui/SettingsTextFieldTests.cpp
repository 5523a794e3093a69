// The sheet's text fields: the attributes in UTF-16, the other texts in the code page, both cut
// at 1023 characters, and the description's field taking Enter as a new line.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "tests/ui/SettingsSheetFixture.h"
#include "ui/SettingsPageIds.h"

namespace ombrel::test {
namespace {

TEST_F(SheetTest, AttributeFieldsKeepTextNoCodePageHolds) {
    // Japanese, a Greek letter, a snowman and a character outside the basic plane.
    const std::wstring title = Wide("題名 Ω ☃ 𝄞");
    const std::wstring description = Wide("一行目\r\n\t二行目");
    _settings.extra._cAuthor = Wide("作者 Ω");
    Do([&] {
        ASSERT_TRUE(Select(kAttributesPage));
        EXPECT_EQ(Wide("作者 Ω"), WideText(kAttributesPage, IDC_ATTRIBUTE_AUTHOR));
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_TITLE, title);
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_DESCRIPTION, description);
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(Utf8(title), Utf8(_settings.extra._cTitle));
    EXPECT_EQ(Utf8(description), Utf8(_settings.extra._cDescription));
    EXPECT_EQ(Utf8(Wide("作者 Ω")), Utf8(_settings.extra._cAuthor));
}

TEST_F(SheetTest, TextsLongerThan1023CharactersKeepTheirFirst1023) {
    const std::wstring wide(1500, L'\x3042');  // hiragana a
    const std::string narrow(1500, 'n');
    const std::wstring wideFit(1023, L'w');
    Do([&] {
        ASSERT_TRUE(Select(kAttributesPage));
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_COMPOSER, wide);
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_GENRE, wideFit);
        ASSERT_TRUE(Select(kPeerCastPage));
        Type(kPeerCastPage, IDC_PEERCAST_CHANNEL, narrow);
        Type(kPeerCastPage, IDC_PEERCAST_TITLE, std::string(1023, 't'));
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(wide.substr(0, 1023) == _settings.extra._cComposer, true) << _settings.extra._cComposer.size();
    EXPECT_EQ(wideFit.size(), _settings.extra._cGenre.size());
    EXPECT_EQ(narrow.substr(0, 1023), _settings.peerCast._cChannel);
    EXPECT_EQ(std::string(1023, 't'), _settings.peerCast._cFormatTitle);
}

// Longer stored texts (written by hand or by another program) show whole; OK keeps them whole
// unless the user changed them.
TEST_F(SheetTest, LongStoredTextsLeftAsShownStayWholeAndEditedOnesAreCut) {
    _settings.script._cFormat = std::string(3000, 'f');
    _settings.peerCast._cChannel = std::string(2000, 'c');
    _settings.extra._cDescription = std::wstring(2000, L'\x3044') + L"\r\nend";
    _settings.extra._cComposer = std::wstring(1500, L'k');
    Do([&] {
        for (int page = kOutputPage; page < kPageCount; ++page) ASSERT_TRUE(Select(page));
        EXPECT_EQ(3000u, Text(kScriptPage, IDC_SCRIPT_FORMAT).size());
        EXPECT_EQ(_settings.extra._cDescription, WideText(kAttributesPage, IDC_ATTRIBUTE_DESCRIPTION));
        Type(kPeerCastPage, IDC_PEERCAST_CHANNEL, std::string(2000, 'c') + "!");
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_COMPOSER, L"!" + std::wstring(1500, L'k'));
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(std::string(3000, 'f'), _settings.script._cFormat);
    EXPECT_EQ(2005u, _settings.extra._cDescription.size());
    EXPECT_EQ(std::string(1023, 'c'), _settings.peerCast._cChannel);
    EXPECT_EQ(L"!" + std::wstring(1022, L'k'), _settings.extra._cComposer);
}

TEST_F(SheetTest, EnterInTheDescriptionMakesANewLineAndLeavesTheSheetOpen) {
    _settings.extra._cDescription = L"ab";
    HWND description = nullptr;
    Do([&] {
        ASSERT_TRUE(Select(kAttributesPage));
        description = Control(kAttributesPage, IDC_ATTRIBUTE_DESCRIPTION);
        ::SetFocus(description);
        ::SendMessageA(description, EM_SETSEL, 1, 1);
        // Through the sheet's own loop, as the keyboard delivers it.
        ::PostMessageA(description, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        ::PostMessageA(description, WM_KEYUP, VK_RETURN, 0xC01C0001);
    });
    DoWhen([&] { return WideText(kAttributesPage, IDC_ATTRIBUTE_DESCRIPTION) != L"ab"; },
           [&] {
               EXPECT_EQ(L"a\r\nb", WideText(kAttributesPage, IDC_ATTRIBUTE_DESCRIPTION));
               EXPECT_TRUE(::IsWindowVisible(Sheet()));
               PressOk();
           });
    RunSheet();
    EXPECT_EQ(L"a\r\nb", _settings.extra._cDescription);
}

TEST_F(SheetTest, CheckBoxesToggleThemselvesAndOkStoresThem) {
    _settings.extra._fPlayLog = TRUE;
    _inputFormat.scriptEnabled = FALSE;
    _settings.peerCast._fEnable = FALSE;
    Do([&] {
        for (int page = kOutputPage; page < kPageCount; ++page) ASSERT_TRUE(Select(page));
        EXPECT_TRUE(Checked(kOutputPage, IDC_PLAY_LOG_ENABLE));
        EXPECT_FALSE(Checked(kScriptPage, IDC_SCRIPT_ENABLE));
        EXPECT_FALSE(Checked(kPeerCastPage, IDC_PEERCAST_ENABLE));
        Click(kOutputPage, IDC_PLAY_LOG_ENABLE);
        Click(kScriptPage, IDC_SCRIPT_ENABLE);
        Click(kPeerCastPage, IDC_PEERCAST_ENABLE);
        Click(kPeerCastPage, IDC_PEERCAST_ENABLE);
        Click(kPeerCastPage, IDC_PEERCAST_ENABLE);
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(FALSE, _settings.extra._fPlayLog);
    EXPECT_EQ(TRUE, _inputFormat.scriptEnabled);
    EXPECT_EQ(TRUE, _settings.peerCast._fEnable);
}

}  // namespace
}  // namespace ombrel::test
