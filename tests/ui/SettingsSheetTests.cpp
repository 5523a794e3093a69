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
#include "tests/ui/SettingsSheetFixture.h"
#include "ui/SettingsPageIds.h"

namespace ui_tests {
namespace {

using namespace ombrel;

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

        EXPECT_EQ(Wide("題名のテスト"), WideText(kAttributesPage, IDC_ATTRIBUTE_TITLE));
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
        PressCancel();
    });
    RunSheet();
}

}  // namespace
}  // namespace ui_tests
