// The audio codec page against the runtime stand-in's catalogue: the codec, format and language
// lists, the refill on a codec change, and what OK reads back from them.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "encoder/Catalogue.h"
#include "encoder/RuntimeEntryPoints.h"
#include "plugin/PluginState.h"
#include "tests/ui/SettingsSheetFixture.h"
#include "ui/SettingsPageIds.h"

namespace ombrel::test {
namespace {

// Formats the stand-in lists per codec: one-pass CBR first, then one-pass VBR. WMA 9.2: seven
// bit rates in stereo and three in mono, each at 44.1 and 48 kHz; its encoder has no VBR mode.
constexpr LRESULT kWma92Formats = 20 + 0;
constexpr LRESULT kWma92LosslessFormats = 4 + 3;
constexpr LRESULT kWma10ProFormats = 4 + 4;

TEST_F(SheetTest, CodecListOffersTheWma9And10CodecsWithTheStoredOneSelected) {
    Do([&] {
        EXPECT_EQ(3, ItemCount(kCodecPage, IDC_CODEC_LIST)) << "the voice codec is not offered";
        EXPECT_EQ(LRESULT(kCodecWma92), SelectedData(kCodecPage, IDC_CODEC_LIST));
        EXPECT_EQ(kWma92Formats, ItemCount(kCodecPage, IDC_FORMAT_LIST));
        EXPECT_EQ(LRESULT(PackFormatItemData(FALSE, 1, 2)), SelectedData(kCodecPage, IDC_FORMAT_LIST));
        PressCancel();
    });
    RunSheet();
}

TEST_F(SheetTest, ChangingTheCodecRefillsTheFormatsKeepingTheStoredFormatWhereItExists) {
    _encoderSettings.audio.codecIndex = kCodecWma92Lossless;
    _encoderSettings.audio.vbrEnabled = TRUE;
    _encoderSettings.audio.formatIndex = 2;
    const std::string before = DescribeSettings();
    Do([&] {
        const LRESULT storedFormat = PackFormatItemData(TRUE, 1, 2);
        EXPECT_EQ(kWma92LosslessFormats, ItemCount(kCodecPage, IDC_FORMAT_LIST));
        EXPECT_EQ(storedFormat, SelectedData(kCodecPage, IDC_FORMAT_LIST));
        ChooseWithArrowKey(kCodecPage, IDC_CODEC_LIST, VK_DOWN);
        ASSERT_EQ(LRESULT(kCodecWma10Pro), SelectedData(kCodecPage, IDC_CODEC_LIST));
        EXPECT_EQ(kWma10ProFormats, ItemCount(kCodecPage, IDC_FORMAT_LIST));
        EXPECT_EQ(storedFormat, SelectedData(kCodecPage, IDC_FORMAT_LIST));
        // WMA 9.2 lists no VBR format: its first format stands in.
        ChooseWithArrowKey(kCodecPage, IDC_CODEC_LIST, VK_UP);
        ChooseWithArrowKey(kCodecPage, IDC_CODEC_LIST, VK_UP);
        ASSERT_EQ(LRESULT(kCodecWma92), SelectedData(kCodecPage, IDC_CODEC_LIST));
        EXPECT_EQ(kWma92Formats, ItemCount(kCodecPage, IDC_FORMAT_LIST));
        EXPECT_EQ(LRESULT(PackFormatItemData(FALSE, 1, 0)), SelectedData(kCodecPage, IDC_FORMAT_LIST));
        // Only OK stores anything.
        EXPECT_EQ(before, DescribeSettings());
        PressCancel();
    });
    RunSheet();
    EXPECT_EQ(before, DescribeSettings());
}

TEST_F(SheetTest, ACodecWithoutTheStoredFormatSelectsItsFirstFormatAndOkStoresIt) {
    _encoderSettings.audio.formatIndex = 5;  // the sixth CBR format: only WMA 9.2 has one
    Do([&] {
        EXPECT_EQ(LRESULT(PackFormatItemData(FALSE, 1, 5)), SelectedData(kCodecPage, IDC_FORMAT_LIST));
        ChooseWithArrowKey(kCodecPage, IDC_CODEC_LIST, VK_DOWN);
        ASSERT_EQ(LRESULT(kCodecWma92Lossless), SelectedData(kCodecPage, IDC_CODEC_LIST));
        EXPECT_EQ(0, ::SendMessageA(Control(kCodecPage, IDC_FORMAT_LIST), CB_GETCURSEL, 0, 0));
        EXPECT_EQ(LRESULT(PackFormatItemData(FALSE, 1, 0)), SelectedData(kCodecPage, IDC_FORMAT_LIST));
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(kCodecWma92Lossless, _encoderSettings.audio.codecIndex);
    EXPECT_EQ(0u, _encoderSettings.audio.formatIndex);
    EXPECT_EQ(FALSE, _encoderSettings.audio.vbrEnabled);
    EXPECT_EQ(1u, _encoderSettings.audio.passes);
}

TEST_F(SheetTest, AVbrFormatStoresItsIndexVbrFlagAndPasses) {
    _encoderSettings.audio.codecIndex = kCodecWma92Lossless;
    _encoderSettings.audio.vbrEnabled = FALSE;
    _encoderSettings.audio.passes = 2;  // not listed: the list offers one-pass formats only
    Do([&] {
        ASSERT_TRUE(ChooseData(kCodecPage, IDC_FORMAT_LIST, PackFormatItemData(TRUE, 1, 2)));
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(kCodecWma92Lossless, _encoderSettings.audio.codecIndex);
    EXPECT_EQ(2u, _encoderSettings.audio.formatIndex);
    EXPECT_EQ(TRUE, _encoderSettings.audio.vbrEnabled);
    EXPECT_EQ(1u, _encoderSettings.audio.passes);
}

// A stored codec the list does not offer (a settings file from elsewhere, or the voice codec):
// the first codec is shown, and the formats shown are that codec's, so OK stores a pair that
// belongs together.
TEST_F(SheetTest, AStoredCodecThatIsNotOfferedShowsTheFirstCodecWithItsOwnFormats) {
    _encoderSettings.audio.codecIndex = 0;
    _encoderSettings.audio.formatIndex = 3;
    Do([&] {
        EXPECT_EQ(LRESULT(kCodecWma92), SelectedData(kCodecPage, IDC_CODEC_LIST));
        EXPECT_EQ(kWma92Formats, ItemCount(kCodecPage, IDC_FORMAT_LIST));
        EXPECT_EQ(LRESULT(PackFormatItemData(FALSE, 1, 3)), SelectedData(kCodecPage, IDC_FORMAT_LIST));
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(kCodecWma92, _encoderSettings.audio.codecIndex);
    EXPECT_EQ(3u, _encoderSettings.audio.formatIndex);
}

TEST_F(SheetTest, LanguageListsSelectTheStoredLocalesOncePerLocale) {
    Do([&] {
        ASSERT_TRUE(Select(kScriptPage));
        for (int page : {int(kCodecPage), int(kScriptPage)}) {
            HWND list = Control(page, IDC_LANGUAGE_LIST);
            const LRESULT count = ::SendMessageA(list, CB_GETCOUNT, 0, 0);
            EXPECT_GT(count, 2) << "page " << page;
            int japanese = 0;
            for (LRESULT item = 0; item < count; ++item)
                japanese += ::SendMessageA(list, CB_GETITEMDATA, item, 0) == LRESULT(kJapanese);
            EXPECT_EQ(1, japanese) << "page " << page;
        }
        EXPECT_EQ(LRESULT(kJapanese), SelectedData(kCodecPage, IDC_LANGUAGE_LIST));
        EXPECT_EQ(LRESULT(kEnglishUs), SelectedData(kScriptPage, IDC_LANGUAGE_LIST));
        PressCancel();
    });
    RunSheet();
}

TEST_F(SheetTest, AStoredLocaleNotListedSelectsNothingAndOkLeavesIt) {
    _encoderSettings.audio.language = 0x7F7F;
    _encoderSettings.script.language = 0x7F7E;
    Do([&] {
        ASSERT_TRUE(Select(kScriptPage));
        EXPECT_EQ(-1, SelectedData(kCodecPage, IDC_LANGUAGE_LIST));
        EXPECT_EQ(-1, SelectedData(kScriptPage, IDC_LANGUAGE_LIST));
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(0x7F7Fu, _encoderSettings.audio.language);
    EXPECT_EQ(0x7F7Eu, _encoderSettings.script.language);
}

// Without the runtime the lists stay empty; the page still opens and OK leaves the codec alone.
TEST_F(SheetTest, WithoutTheRuntimeTheListsStayEmptyAndOkKeepsTheCodec) {
    ActiveRuntimeEntryPoints().createProfileManager = [](IWMProfileManager** manager) -> HRESULT {
        *manager = nullptr;
        return E_FAIL;
    };
    const std::string expected = DescribeSettingsChangedBy([] { _encoderSettings.audio.bufferWindow = 800; });
    Do([&] {
        EXPECT_EQ(0, ItemCount(kCodecPage, IDC_CODEC_LIST));
        EXPECT_EQ(0, ItemCount(kCodecPage, IDC_FORMAT_LIST));
        Type(kCodecPage, IDC_BUFFER_WINDOW, "800");
        PressOk();
    });
    RunSheet();
    EXPECT_EQ(expected, DescribeSettings());
}

}  // namespace
}  // namespace ombrel::test
