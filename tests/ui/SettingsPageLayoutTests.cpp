// The five pages as laid out by their templates: every control's kind, place and Japanese text
// as the system shows it (the ui_cp932 run checks the texts under code page 932), the number
// fields' up-downs attached to them, and the pages' font.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "tests/ui/SettingsSheetFixture.h"
#include "ui/SettingsPageIds.h"
#include "win/GdiWrappers.h"

namespace ui_tests {
namespace {

// A control of a page template. Texts are UTF-8; places in dialog units.
enum Kind { kLabel, kGroup, kCheck, kPush, kText, kNumber, kMultiLine, kList };

struct ControlRow {
    int page;
    int id;  // -1: found by its text
    Kind kind;
    const char* text;
    int x, y, cx, cy;
};

// The templates' places. A few labels are wider than their first design, as wide as their
// Japanese text needs in MS UI Gothic 9 points, and the script page's note has room for the
// lines its text wraps into.
const ControlRow kControls[] = {
    {kCodecPage, -1, kGroup, "Windows Media Audio", 6, 6, 230, 102},
    {kCodecPage, -1, kLabel, "コーデック", 13, 24, 36, 8},
    {kCodecPage, IDC_CODEC_LIST, kList, "", 64, 21, 162, 0},
    {kCodecPage, -1, kLabel, "フォーマット", 13, 44, 49, 8},
    {kCodecPage, IDC_FORMAT_LIST, kList, "", 64, 41, 162, 0},
    {kCodecPage, -1, kLabel, "バッファサイズ", 13, 64, 49, 8},
    {kCodecPage, IDC_BUFFER_WINDOW, kNumber, "", 64, 61, 54, 13},
    {kCodecPage, -1, kLabel, "ms", 122, 64, 19, 8},
    {kCodecPage, -1, kLabel, "言語", 13, 84, 36, 8},
    {kCodecPage, IDC_LANGUAGE_LIST, kList, "", 64, 81, 162, 0},

    {kOutputPage, -1, kGroup, "エンコーダーからプル", 6, 6, 230, 60},
    {kOutputPage, -1, kLabel, "ポート番号", 13, 24, 49, 8},
    {kOutputPage, IDC_PORT, kNumber, "", 64, 21, 54, 13},
    {kOutputPage, -1, kLabel, "収容人数", 13, 44, 28, 8},
    {kOutputPage, IDC_MAX_CLIENT, kNumber, "", 64, 41, 54, 13},
    {kOutputPage, -1, kGroup, "再生ログ", 6, 72, 230, 54},
    {kOutputPage, IDC_PLAY_LOG_ENABLE, kCheck, "再生ログを有効にする", 12, 86, 90, 10},
    {kOutputPage, -1, kLabel, "ログファイル", 12, 104, 48, 8},
    {kOutputPage, IDC_PLAY_LOG_PATH, kText, "", 64, 102, 140, 13},
    {kOutputPage, IDC_PLAY_LOG_BROWSE, kPush, "...", 210, 101, 18, 14},

    {kAttributesPage, -1, kGroup, "属性", 6, 6, 230, 204},
    {kAttributesPage, -1, kLabel, "題名", 13, 24, 44, 8},
    {kAttributesPage, IDC_ATTRIBUTE_TITLE, kText, "", 64, 21, 167, 13},
    {kAttributesPage, -1, kLabel, "製作者", 13, 44, 44, 8},
    {kAttributesPage, IDC_ATTRIBUTE_AUTHOR, kText, "", 64, 41, 167, 13},
    {kAttributesPage, -1, kLabel, "アルバム", 13, 64, 44, 8},
    {kAttributesPage, IDC_ATTRIBUTE_ALBUM, kText, "", 64, 61, 167, 13},
    {kAttributesPage, -1, kLabel, "作曲者", 13, 84, 44, 8},
    {kAttributesPage, IDC_ATTRIBUTE_COMPOSER, kText, "", 64, 81, 167, 13},
    {kAttributesPage, -1, kLabel, "ジャンル", 13, 104, 44, 8},
    {kAttributesPage, IDC_ATTRIBUTE_GENRE, kText, "", 64, 101, 167, 13},
    {kAttributesPage, -1, kLabel, "著作権", 13, 124, 44, 8},
    {kAttributesPage, IDC_ATTRIBUTE_COPYRIGHT, kText, "", 64, 121, 167, 13},
    {kAttributesPage, -1, kLabel, "説明", 14, 154, 44, 8},
    {kAttributesPage, IDC_ATTRIBUTE_DESCRIPTION, kMultiLine, "", 64, 141, 167, 37},

    {kScriptPage, IDC_SCRIPT_ENABLE, kCheck, "タイトルストリーミングを有効にする", 7, 9, 119, 12},
    {kScriptPage, -1, kGroup, "スクリプト / タイトルストリーミング", 6, 28, 230, 120},
    {kScriptPage, -1, kLabel, "ビットレート", 13, 44, 49, 8},
    {kScriptPage, IDC_SCRIPT_BITRATE, kNumber, "", 64, 41, 54, 13},
    {kScriptPage, -1, kLabel, "Kbps", 122, 43, 19, 8},
    {kScriptPage, -1, kLabel, "バッファサイズ", 13, 64, 49, 8},
    {kScriptPage, IDC_BUFFER_WINDOW, kNumber, "", 64, 61, 54, 13},
    {kScriptPage, -1, kLabel, "ms", 122, 64, 19, 8},
    {kScriptPage, -1, kLabel, "言語", 13, 84, 36, 8},
    {kScriptPage, IDC_LANGUAGE_LIST, kList, "", 64, 81, 162, 0},
    {kScriptPage, -1, kLabel, "書式", 13, 104, 36, 8},
    {kScriptPage, IDC_SCRIPT_FORMAT, kText, "", 64, 101, 162, 13},
    {kScriptPage, -1, kLabel, "使用できるタグ\n%TITLE%, %ARTIST%, %COMMENT%, %ALBUM%\n%LENGTH%", 65, 120, 163, 24},
    {kScriptPage, -1, kGroup, "補足", 6, 150, 230, 60},
    {kScriptPage, -1, kLabel,
     "この機能を使用しWindowsMediaPlayerで曲名表示ができるようになります。\n"
     "\n"
     "※表示するにはリスナー手元のWindowsMediaPlayerの\"キャプションと字幕\"の\n"
     "　 表示設定が有効になっている必要があります。",  // an ideographic space, then a space
     11, 161, 223, 48},

    {kPeerCastPage, IDC_PEERCAST_ENABLE, kCheck, "PeerCastのメタデータを更新する", 7, 9, 125, 12},
    {kPeerCastPage, -1, kGroup, "基本設定", 6, 28, 230, 56},
    {kPeerCastPage, -1, kLabel, "ポート番号", 13, 44, 49, 8},
    {kPeerCastPage, IDC_PORT, kNumber, "", 64, 41, 54, 13},
    {kPeerCastPage, -1, kLabel, "チャンネル名", 13, 63, 49, 8},
    {kPeerCastPage, IDC_PEERCAST_CHANNEL, kText, "", 64, 61, 164, 13},
    {kPeerCastPage, -1, kGroup, "書式設定", 6, 90, 230, 120},
    {kPeerCastPage, -1, kLabel, "アーティスト", 12, 111, 47, 8},
    {kPeerCastPage, IDC_PEERCAST_ARTIST, kText, "", 63, 108, 164, 13},
    {kPeerCastPage, -1, kLabel, "タイトル", 12, 127, 47, 8},
    {kPeerCastPage, IDC_PEERCAST_TITLE, kText, "", 63, 125, 164, 13},
    {kPeerCastPage, -1, kLabel, "アルバム", 12, 145, 47, 8},
    {kPeerCastPage, IDC_PEERCAST_ALBUM, kText, "", 63, 143, 164, 13},
    {kPeerCastPage, -1, kLabel, "使用できるタグ\n%TITLE%, %ARTIST%, %COMMENT%, %ALBUM%\n%LENGTH%", 63, 162, 163, 24},
};

// Number fields and their up-downs.
const struct {
    int page;
    int field;
    int spin;
} kSpins[] = {
    {kCodecPage, IDC_BUFFER_WINDOW, IDC_BUFFER_WINDOW_SPIN}, {kOutputPage, IDC_PORT, IDC_PORT_SPIN},
    {kOutputPage, IDC_MAX_CLIENT, IDC_MAX_CLIENT_SPIN},      {kScriptPage, IDC_SCRIPT_BITRATE, IDC_SCRIPT_BITRATE_SPIN},
    {kScriptPage, IDC_BUFFER_WINDOW, IDC_BUFFER_WINDOW_SPIN}, {kPeerCastPage, IDC_PORT, IDC_PORT_SPIN},
};

// Dialog text passes through the system code page: pages are created with the narrow functions.
std::wstring AsTheSystemShowsIt(const char* utf8) {
    const std::wstring wide = Wide(utf8);
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(bytes, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &narrow[0], bytes, nullptr, nullptr);
    int units = ::MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
    std::wstring shown(units, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, &shown[0], units);
    shown.resize(units > 0 ? units - 1 : 0);
    return shown;
}

// A place in dialog units as the dialog manager lays it out: corner and size each scaled.
RECT InDialogUnits(HWND page, int x, int y, int cx, int cy) {
    RECT corner{x, y, 0, 0};
    RECT size{0, 0, cx, cy};
    ::MapDialogRect(page, &corner);
    ::MapDialogRect(page, &size);
    return {corner.left, corner.top, corner.left + size.right, corner.top + size.bottom};
}

RECT PlaceOnPage(HWND page, HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The control without an id whose corner is at the row's place.
HWND FindAt(HWND page, const ControlRow& row) {
    const RECT place = InDialogUnits(page, row.x, row.y, row.cx, row.cy);
    for (HWND child = ::GetWindow(page, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const RECT actual = PlaceOnPage(page, child);
        const int id = ::GetDlgCtrlID(child);
        if (actual.left == place.left && actual.top == place.top && (id == -1 || id == 0xFFFF)) return child;
    }
    return nullptr;
}

void ExpectKind(HWND control, Kind kind) {
    const std::string kindName = ClassName(control);
    const DWORD style = DWORD(::GetWindowLongA(control, GWL_STYLE));
    switch (kind) {
    case kLabel:
        EXPECT_EQ("Static", kindName);
        EXPECT_EQ(DWORD(SS_LEFT), style & SS_TYPEMASK);
        break;
    case kGroup:
        EXPECT_EQ("Button", kindName);
        EXPECT_EQ(DWORD(BS_GROUPBOX), style & BS_TYPEMASK);
        break;
    case kCheck:
        EXPECT_EQ("Button", kindName);
        EXPECT_EQ(DWORD(BS_AUTOCHECKBOX), style & BS_TYPEMASK);
        break;
    case kPush:
        EXPECT_EQ("Button", kindName);
        EXPECT_EQ(DWORD(BS_PUSHBUTTON), style & BS_TYPEMASK);
        break;
    case kText:
        EXPECT_EQ("Edit", kindName);
        EXPECT_EQ(0u, style & (ES_NUMBER | ES_MULTILINE));
        break;
    case kNumber:
        EXPECT_EQ("Edit", kindName);
        EXPECT_EQ(DWORD(ES_NUMBER), style & (ES_NUMBER | ES_MULTILINE));
        break;
    case kMultiLine:
        EXPECT_EQ("Edit", kindName);
        EXPECT_EQ(DWORD(ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL), style & (ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL));
        break;
    case kList:
        EXPECT_EQ("ComboBox", kindName);
        EXPECT_EQ(DWORD(CBS_DROPDOWNLIST), style & 3);
        break;
    }
}

// A number field's up-down covers its right end; a combo box's height is its drop-down list's.
void ExpectPlace(HWND page, HWND control, const ControlRow& row) {
    const RECT expected = InDialogUnits(page, row.x, row.y, row.cx, row.cy);
    const RECT actual = PlaceOnPage(page, control);
    EXPECT_EQ(expected.left, actual.left);
    EXPECT_EQ(expected.top, actual.top);
    if (row.kind != kNumber) {
        EXPECT_EQ(expected.right, actual.right);
    }
    if (row.kind != kList) {
        EXPECT_EQ(expected.bottom, actual.bottom);
    }
}

TEST_F(SheetTest, PagesHoldTheirControlsWithTheirJapaneseTextsInPlace) {
    Do([&] {
        for (int page = kOutputPage; page < kPageCount; ++page) ASSERT_TRUE(Select(page));
        for (const ControlRow& row : kControls) {
            SCOPED_TRACE(testing::Message() << "page " << row.page << " control " << row.id << " " << row.text);
            HWND page = Page(row.page);
            HWND control = row.id == -1 ? FindAt(page, row) : ::GetDlgItem(page, row.id);
            EXPECT_NE(nullptr, control);
            if (!control) continue;
            ExpectKind(control, row.kind);
            if (*row.text) {
                EXPECT_EQ(AsTheSystemShowsIt(row.text), WindowTextW(control));
            }
            ExpectPlace(page, control, row);
        }
        for (const auto& spin : kSpins) {
            SCOPED_TRACE(testing::Message() << "page " << spin.page << " up-down " << spin.spin);
            HWND field = Control(spin.page, spin.field);
            HWND upDown = Control(spin.page, spin.spin);
            EXPECT_NE(nullptr, upDown);
            EXPECT_EQ(std::string(UPDOWN_CLASSA), ClassName(upDown));
            EXPECT_EQ(field, reinterpret_cast<HWND>(::SendMessageA(upDown, UDM_GETBUDDY, 0, 0)));
            const DWORD style = DWORD(::GetWindowLongA(upDown, GWL_STYLE));
            const DWORD wanted = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
            EXPECT_EQ(wanted, style & wanted);
            // Right-aligned: the up-down ends at the field's template end (less the field's border)
            // and the field gives up the room it takes.
            const RECT fieldPlace = PlaceOnPage(Page(spin.page), field);
            const RECT spinPlace = PlaceOnPage(Page(spin.page), upDown);
            EXPECT_NEAR(InDialogUnits(Page(spin.page), 64, 0, 54, 0).right, spinPlace.right, 2);
            EXPECT_LE(fieldPlace.right, spinPlace.left + 2);
        }
        // The pages' font: MS UI Gothic, 9 points.
        for (int page = kCodecPage; page < kPageCount; ++page) {
            LOGFONTA font{};
            ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(Page(page), WM_GETFONT, 0, 0)), sizeof font, &font);
            EXPECT_STREQ("MS UI Gothic", font.lfFaceName) << "page " << page;
            win::WindowDc screen(nullptr);
            const int pixels = -::MulDiv(9, ::GetDeviceCaps(screen.get(), LOGPIXELSY), 72);
            EXPECT_EQ(pixels, font.lfHeight) << "page " << page;
        }
        PressCancel();
    });
    RunSheet();
}

}  // namespace
}  // namespace ui_tests
