// The settings sheet as the user works it: the real property sheet under Wine, its pages'
// controls typed into, pages changed as by their tabs, OK and Cancel pressed.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>

#include "encoder/Catalogue.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "tests/common/Files.h"
#include "tests/ui/SettingsSheetFixture.h"
#include "ui/SettingsPageIds.h"
#include "ui/SettingsSheetWindow.h"

namespace ombrel::test {
namespace {

// ---- The sheet itself ----

TEST_F(SheetTest, JapaneseCaptionTabsButtonsAndFirstPage) {
    Do([&] {
        EXPECT_EQ(Cp932("配信設定"), WindowTextA(Sheet()));
        if (JapaneseCodePage()) {
            EXPECT_EQ(Wide("配信設定"), WindowTextW(Sheet()));
        }
        HWND tabs = ::FindWindowExA(Sheet(), nullptr, WC_TABCONTROLA, nullptr);
        ASSERT_EQ(kPageCount, ::SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
        const char* const titles[] = {"圧縮", "出力", "属性", "スクリプト", "PeerCast"};
        for (int page = 0; page < kPageCount; ++page) {
            char text[64] = "";
            TCITEMA item{};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            ::SendMessageA(tabs, TCM_GETITEMA, page, reinterpret_cast<LPARAM>(&item));
            EXPECT_EQ(Cp932(titles[page]), std::string(text)) << "tab " << page;
            if (JapaneseCodePage()) {
                wchar_t wide[64] = L"";
                TCITEMW wideItem{};
                wideItem.mask = TCIF_TEXT;
                wideItem.pszText = wide;
                wideItem.cchTextMax = 64;
                ::SendMessageW(tabs, TCM_GETITEMW, page, reinterpret_cast<LPARAM>(&wideItem));
                EXPECT_EQ(Wide(titles[page]), std::wstring(wide)) << "tab " << page;
            }
        }
        // OK and Cancel, no Apply button.
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(Sheet(), IDOK)));
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(Sheet(), IDCANCEL)));
        HWND apply = ::GetDlgItem(Sheet(), 0x3021);
        EXPECT_FALSE(apply && ::IsWindowVisible(apply)) << "an Apply button is shown";
        // Page 1 is shown; the others are created when first shown.
        EXPECT_EQ(kCodecPage, CurrentPage());
        for (int page = kOutputPage; page < kPageCount; ++page) EXPECT_EQ(nullptr, Page(page)) << "page " << page;
        // Modal over the main window, which Quit can reach through the remembered sheet.
        EXPECT_FALSE(::IsWindowEnabled(Owner()));
        EXPECT_EQ(Sheet(), RememberedSheetWindow());
        PressCancel();
    });
    RunSheet();
    EXPECT_TRUE(::IsWindowEnabled(Owner()));
    EXPECT_EQ(nullptr, RememberedSheetWindow());
}

// ---- What the pages show ----

TEST_F(SheetTest, EveryPageShowsTheStoredSettings) {
    Do([&] {
        for (int page = kOutputPage; page < kPageCount; ++page) ASSERT_TRUE(Select(page)) << "page " << page;

        EXPECT_EQ(LRESULT(kCodecWma92), SelectedData(kCodecPage, IDC_CODEC_LIST));
        EXPECT_EQ(LRESULT(PackFormatItemData(FALSE, 1, 2)), SelectedData(kCodecPage, IDC_FORMAT_LIST));
        EXPECT_EQ(LRESULT(kJapanese), SelectedData(kCodecPage, IDC_LANGUAGE_LIST));
        EXPECT_EQ("4000", Text(kCodecPage, IDC_BUFFER_WINDOW));

        EXPECT_EQ("8010", Text(kOutputPage, IDC_PORT));
        EXPECT_EQ("5", Text(kOutputPage, IDC_MAX_CLIENT));
        EXPECT_FALSE(Checked(kOutputPage, IDC_PLAY_LOG_ENABLE));
        EXPECT_EQ("C:\\logs\\play.txt", Text(kOutputPage, IDC_PLAY_LOG_PATH));
        EXPECT_FALSE(Checked(kOutputPage, IDC_PORT_MAPPING));

        EXPECT_EQ(L"Title T", WideText(kAttributesPage, IDC_ATTRIBUTE_TITLE));
        EXPECT_EQ(L"Author A", WideText(kAttributesPage, IDC_ATTRIBUTE_AUTHOR));
        EXPECT_EQ(L"Album B", WideText(kAttributesPage, IDC_ATTRIBUTE_ALBUM));
        EXPECT_EQ(L"Composer D", WideText(kAttributesPage, IDC_ATTRIBUTE_COMPOSER));
        EXPECT_EQ(L"Ambient", WideText(kAttributesPage, IDC_ATTRIBUTE_GENRE));
        EXPECT_EQ(L"(c) Copyright C", WideText(kAttributesPage, IDC_ATTRIBUTE_COPYRIGHT));
        EXPECT_EQ(L"line one\r\nline two", WideText(kAttributesPage, IDC_ATTRIBUTE_DESCRIPTION));

        EXPECT_TRUE(Checked(kScriptPage, IDC_SCRIPT_ENABLE));
        EXPECT_EQ("5", Text(kScriptPage, IDC_SCRIPT_BITRATE));
        EXPECT_EQ("3000", Text(kScriptPage, IDC_BUFFER_WINDOW));
        EXPECT_EQ(LRESULT(kEnglishUs), SelectedData(kScriptPage, IDC_LANGUAGE_LIST));
        EXPECT_EQ("%TITLE% (%LENGTH%)", Text(kScriptPage, IDC_SCRIPT_FORMAT));

        EXPECT_TRUE(Checked(kPeerCastPage, IDC_PEERCAST_ENABLE));
        EXPECT_EQ("7150", Text(kPeerCastPage, IDC_PORT));
        EXPECT_EQ("channel-one", Text(kPeerCastPage, IDC_PEERCAST_CHANNEL));
        EXPECT_EQ("%ARTIST%/a", Text(kPeerCastPage, IDC_PEERCAST_ARTIST));
        EXPECT_EQ("%TITLE%/t", Text(kPeerCastPage, IDC_PEERCAST_TITLE));
        EXPECT_EQ("%ALBUM%/b", Text(kPeerCastPage, IDC_PEERCAST_ALBUM));
        EXPECT_FALSE(Checked(kPeerCastPage, IDC_PEERCAST_RELAY));
        EXPECT_FALSE(Checked(kPeerCastPage, IDC_PEERCAST_RELAY_IPV6));
        EXPECT_EQ("http://example.jp/1", Text(kPeerCastPage, IDC_PEERCAST_CONTACT));
        PressCancel();
    });
    RunSheet();
}

// ---- OK and Cancel ----

// New values in every control of every page, as a user would set them.
class SheetRoundTrip : public SheetTest {
protected:
    void TypeEverywhere() {
        for (int page = kOutputPage; page < kPageCount; ++page) ASSERT_TRUE(Select(page)) << "page " << page;
        // 圧縮: the next codec, the format after the one selected there, German, 6000 ms.
        ChooseWithArrowKey(kCodecPage, IDC_CODEC_LIST, VK_DOWN);
        ASSERT_EQ(LRESULT(kCodecWma92Lossless), SelectedData(kCodecPage, IDC_CODEC_LIST));
        ChooseWithArrowKey(kCodecPage, IDC_FORMAT_LIST, VK_DOWN);
        ASSERT_EQ(LRESULT(PackFormatItemData(FALSE, 1, 3)), SelectedData(kCodecPage, IDC_FORMAT_LIST));
        ASSERT_TRUE(ChooseData(kCodecPage, IDC_LANGUAGE_LIST, kGerman));
        Type(kCodecPage, IDC_BUFFER_WINDOW, "6000");
        // 出力
        Type(kOutputPage, IDC_PORT, "9001");
        Type(kOutputPage, IDC_MAX_CLIENT, "12");
        Click(kOutputPage, IDC_PLAY_LOG_ENABLE);
        Type(kOutputPage, IDC_PLAY_LOG_PATH, "D:\\radio\\log.txt");
        Click(kOutputPage, IDC_PORT_MAPPING);
        // 属性
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_TITLE, L"Title 2");
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_AUTHOR, L"Author 2");
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_ALBUM, L"Album 2");
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_COMPOSER, L"Composer 2");
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_GENRE, L"Genre 2");
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_COPYRIGHT, L"Copyright 2");
        TypeWide(kAttributesPage, IDC_ATTRIBUTE_DESCRIPTION, L"first\r\nsecond\tthird");
        // スクリプト
        Click(kScriptPage, IDC_SCRIPT_ENABLE);
        Type(kScriptPage, IDC_SCRIPT_BITRATE, "7");
        Type(kScriptPage, IDC_BUFFER_WINDOW, "2500");
        ASSERT_TRUE(ChooseData(kScriptPage, IDC_LANGUAGE_LIST, kGerman));
        Type(kScriptPage, IDC_SCRIPT_FORMAT, "%ALBUM%");
        // PeerCast
        Click(kPeerCastPage, IDC_PEERCAST_ENABLE);
        Type(kPeerCastPage, IDC_PORT, "7200");
        Type(kPeerCastPage, IDC_PEERCAST_CHANNEL, "channel-two");
        Type(kPeerCastPage, IDC_PEERCAST_ARTIST, "%ARTIST%!");
        Type(kPeerCastPage, IDC_PEERCAST_TITLE, "%TITLE%!");
        Type(kPeerCastPage, IDC_PEERCAST_ALBUM, "%ALBUM%!");
        Click(kPeerCastPage, IDC_PEERCAST_RELAY);
        Click(kPeerCastPage, IDC_PEERCAST_RELAY_IPV6);
        Type(kPeerCastPage, IDC_PEERCAST_CONTACT, "http://example.jp/2");
    }

    static void NewValues() {
        AudioStreamSettings& audio = _encoderSettings.audio;
        audio.codecIndex = kCodecWma92Lossless;
        audio.formatIndex = 3;
        audio.vbrEnabled = FALSE;
        audio.passes = 1;
        audio.language = kGerman;
        audio.bufferWindow = 6000;
        ExtraSettings& extra = _settings.extra;
        extra._dwPort = 9001;
        extra._dwMaxClient = 12;
        extra._fPlayLog = TRUE;
        extra._cPlayLog = "D:\\radio\\log.txt";
        extra._cTitle = L"Title 2";
        extra._cAuthor = L"Author 2";
        extra._cAlbum = L"Album 2";
        extra._cComposer = L"Composer 2";
        extra._cGenre = L"Genre 2";
        extra._cCopyright = L"Copyright 2";
        extra._cDescription = L"first\r\nsecond\tthird";
        extra._fPortMapping = TRUE;
        _inputFormat.scriptEnabled = FALSE;
        _encoderSettings.script.bitrate = 7000;
        _encoderSettings.script.bufferWindow = 2500;
        _encoderSettings.script.language = kGerman;
        _settings.script._cFormat = "%ALBUM%";
        PeerCastSettings& peerCast = _settings.peerCast;
        peerCast._fEnable = FALSE;
        peerCast._dwPort = 7200;
        peerCast._cChannel = "channel-two";
        peerCast._cFormatArtist = "%ARTIST%!";
        peerCast._cFormatTitle = "%TITLE%!";
        peerCast._cFormatAlbum = "%ALBUM%!";
        peerCast._fRelayChannel = TRUE;
        peerCast._fRelayIPv6 = TRUE;
        peerCast._cContact = "http://example.jp/2";
    }
};

TEST_F(SheetRoundTrip, OkWritesEveryControlBackToItsSettingAndSaves) {
    const std::string expected = DescribeSettingsChangedBy(NewValues);
    Do([&] {
        TypeEverywhere();
        // Nothing is stored before OK.
        EXPECT_EQ(kCodecWma92, _encoderSettings.audio.codecIndex);
        EXPECT_EQ(8010u, _settings.extra._dwPort);
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(expected, DescribeSettings());
    EXPECT_EQ(DescribeSettings(false), DescribeSettingsFile(IniPath())) << ReadWholeFile(IniPath());
}

TEST_F(SheetRoundTrip, CancelChangesNothingAndStillWritesTheFile) {
    const std::string before = DescribeSettings();
    ASSERT_FALSE(FileExists(IniPath()));
    Do([&] {
        TypeEverywhere();
        PressCancel();
    });
    RunSheet();
    EXPECT_EQ(before, DescribeSettings());
    EXPECT_EQ(DescribeSettings(false), DescribeSettingsFile(IniPath())) << ReadWholeFile(IniPath());
}

TEST_F(SheetRoundTrip, AValueTypedAndCancelledIsGoneWhenTheSheetOpensAgain) {
    Do([&] {
        Type(kCodecPage, IDC_BUFFER_WINDOW, "7777");
        PressCancel();
    });
    RunSheet();
    Do([&] {
        EXPECT_EQ("4000", Text(kCodecPage, IDC_BUFFER_WINDOW));
        PressCancel();
    });
    RunSheet();
}

TEST_F(SheetTest, OkAfterVisitingOnlyTheFirstPageChangesOnlyTheAudioSettings) {
    // Values the other pages would refuse or change on OK, had they been created.
    _settings.extra._dwPort = 80;
    _settings.extra._dwMaxClient = 77;
    _settings.peerCast._dwPort = 99999;
    _encoderSettings.script.bitrate = 1500;
    _settings.extra._cComposer = std::wstring(1500, L'x');
    const std::string expected = DescribeSettingsChangedBy([] {
        _encoderSettings.audio.codecIndex = kCodecWma10Pro;
        _encoderSettings.audio.formatIndex = 1;
        _encoderSettings.audio.vbrEnabled = TRUE;
        _encoderSettings.audio.passes = 1;
        _encoderSettings.audio.bufferWindow = 1234;
    });
    Do([&] {
        ASSERT_TRUE(ChooseData(kCodecPage, IDC_CODEC_LIST, kCodecWma10Pro));
        ASSERT_TRUE(ChooseData(kCodecPage, IDC_FORMAT_LIST, PackFormatItemData(TRUE, 1, 1)));
        Type(kCodecPage, IDC_BUFFER_WINDOW, "1234");
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(expected, DescribeSettings());
}

}  // namespace
}  // namespace ombrel::test
