// The main window as built from dialog 102 and menu 108: title, controls where the template puts
// them, the menu, the rebar and toolbar with their images and tooltips.
#include <gtest/gtest.h>

#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/ui/MainWindowTestSupport.h"
#include "ui/MainToolbar.h"
#include "win/GdiWrappers.h"

namespace ombrel::test {
namespace {

std::string ClassOf(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, ARRAYSIZE(name));
    return name;
}

std::wstring TextOf(HWND window) {
    WCHAR text[256] = {};
    ::GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

RECT ClientRectOfChild(HWND dialog, HWND child) {
    RECT r{};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Position and size convert apart. Wine's dialog creation rounds the far edge its own way,
// which with some fonts' base units lands one pixel off the converted size: far edges are
// compared within one pixel, near edges exactly.
RECT DialogUnits(HWND dialog, int x, int y, int cx, int cy) {
    RECT origin{x, y, cx, cy};
    ::MapDialogRect(dialog, &origin);
    return RECT{origin.left, origin.top, origin.left + origin.right, origin.top + origin.bottom};
}

bool SamePlace(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && std::abs(a.right - b.right) <= 1 &&
           std::abs(a.bottom - b.bottom) <= 1;
}

// The child of dialog that covers exactly place (client coordinates) and is of className.
HWND FindControlAt(HWND dialog, const RECT& place, const std::string& className) {
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const RECT r = ClientRectOfChild(dialog, child);
        if (SamePlace(r, place) && ClassOf(child) == className) return child;
    }
    return nullptr;
}

HWND FindControlByText(HWND dialog, const std::wstring& text) {
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (TextOf(child) == text) return child;
    }
    return nullptr;
}

struct ControlRow {
    int id;
    const wchar_t* text;  // the label's text; empty for fields the window fills in
    int x, y, cx, cy;     // dialog units
    const char* className;
    DWORD typeMask;       // style bits that say what kind of control it is
    DWORD type;
};

const ControlRow kControls[] = {
    {IDC_LEVEL_METER, L"", 197, 45, 14, 124, "Static", SS_TYPEMASK, SS_BLACKFRAME},
    {-1, L"モニタ", 4, 42, 189, 136, "Button", BS_TYPEMASK, BS_GROUPBOX},
    {-1, L"出力ポート:", 9, 60, 48, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {IDC_OUTPUT_PORT, L"", 57, 60, 132, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {-1, L"配信時間:", 9, 72, 48, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {IDC_RUNNING_TIME, L"", 57, 72, 132, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {-1, L"クライアント数:", 9, 84, 48, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {IDC_CLIENT_COUNT, L"", 57, 84, 132, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {-1, L"ビットレート:", 9, 96, 48, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {IDC_BIT_RATE, L"", 57, 96, 132, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {-1, L"出力バイト数:", 9, 108, 48, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {IDC_BYTES_SENT, L"", 57, 108, 132, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {-1, L"聴取URL:", 9, 120, 48, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {IDC_LISTEN_ADDRESS, L"", 57, 120, 132, 9, "Static", SS_TYPEMASK, SS_LEFT},
    {IDC_PORT_MAPPING_STATE, L"", 9, 132, 180, 18, "Static", SS_TYPEMASK, SS_LEFT},
    {IDC_RELAY_STATE, L"", 9, 150, 180, 9, "Static", SS_TYPEMASK, SS_LEFT},
    // The recording's line, below the relay channel's.
    {IDC_RECORD_STATE, L"", 9, 162, 180, 9, "Static", SS_TYPEMASK | SS_ELLIPSISMASK, SS_LEFT | SS_ENDELLIPSIS},
    {-1, L"スクリプト", 4, 180, 189, 29, "Button", BS_TYPEMASK, BS_GROUPBOX},
    // The script field cuts a long title with an ellipsis at its end.
    {IDC_SCRIPT_TEXT, L"", 9, 194, 177, 12, "Static", SS_TYPEMASK | SS_ELLIPSISMASK, SS_LEFT | SS_ENDELLIPSIS},
};

// The level meter's scale, beside control 1004: x, y of each label.
struct ScaleRow {
    const wchar_t* text;
    int y;
};
const ScaleRow kScale[] = {{L"0dB", 42}, {L" -3", 56}, {L" -6", 72}, {L" -9", 87},
                           {L"-12", 103}, {L"-15", 118}, {L"-24", 164}};

TEST_F(MainWindowTest, IsAHiddenThenShownPopupDialogTitledAfterThePlugin) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("#32770", ClassOf(dialog));
    EXPECT_EQ(L"Ombrel DSP plugin", TextOf(dialog));
    EXPECT_TRUE(::IsWindowVisible(dialog));
    EXPECT_EQ(owner_.get(), ::GetWindow(dialog, GW_OWNER));

    const LONG style = ::GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ(LONG(WS_POPUP | WS_CAPTION | WS_SYSMENU), style & (WS_POPUP | WS_CAPTION | WS_SYSMENU))
        << std::hex << style;
    EXPECT_EQ(0, style & (WS_THICKFRAME | WS_CHILD)) << std::hex << style;
    EXPECT_NE(nullptr, ::GetMenu(dialog));
}

TEST_F(MainWindowTest, SitsAtTheOwnersClientOriginWithTheTemplatesClientSize) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    // A template's position places the dialog's client area, relative to the owner's.
    POINT ownerOrigin{0, 0};
    ::ClientToScreen(owner_.get(), &ownerOrigin);
    POINT origin{0, 0};
    ::ClientToScreen(dialog, &origin);
    EXPECT_EQ(ownerOrigin.x, origin.x);
    EXPECT_EQ(ownerOrigin.y, origin.y);

    RECT client{};
    ::GetClientRect(dialog, &client);
    const RECT expected = DialogUnits(dialog, 0, 0, 229, 215);
    EXPECT_EQ(expected.right, client.right);
    EXPECT_EQ(expected.bottom, client.bottom);
}

TEST_F(MainWindowTest, ControlsHaveTheTemplatesKindsPlacesAndJapaneseTexts) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(testing::Message() << "control " << row.id << " at " << row.x << "," << row.y);
        const RECT place = DialogUnits(dialog, row.x, row.y, row.cx, row.cy);
        HWND control = row.id == -1 ? FindControlAt(dialog, place, row.className) : ::GetDlgItem(dialog, row.id);
        ASSERT_NE(nullptr, control);
        EXPECT_EQ(row.className, ClassOf(control));
        const DWORD style = DWORD(::GetWindowLongA(control, GWL_STYLE));
        EXPECT_EQ(row.type, style & row.typeMask) << std::hex << style;
        if (row.id == -1) {
            EXPECT_EQ(AsTheSystemShowsIt(row.text), TextOf(control));
        }
        const RECT actual = ClientRectOfChild(dialog, control);
        EXPECT_EQ(place.left, actual.left);
        EXPECT_EQ(place.top, actual.top);
        EXPECT_NEAR(place.right, actual.right, 1);
        EXPECT_NEAR(place.bottom, actual.bottom, 1);
    }
}

TEST_F(MainWindowTest, MeterScaleLabelsStandBesideTheMeterTopToBottom) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    const RECT meter = ClientRectOfChild(dialog, ::GetDlgItem(dialog, IDC_LEVEL_METER));
    for (const ScaleRow& row : kScale) {
        SCOPED_TRACE(testing::Message() << "label at y " << row.y);
        HWND label = FindControlByText(dialog, row.text);
        ASSERT_NE(nullptr, label);
        const RECT actual = ClientRectOfChild(dialog, label);
        const RECT units = DialogUnits(dialog, 212, row.y, 0, 0);
        EXPECT_EQ(units.top, actual.top);
        EXPECT_GE(actual.left, meter.right);
        const RECT dialogRight = DialogUnits(dialog, 212, 0, 17, 0);
        EXPECT_LE(actual.right, dialogRight.right);
    }
}

struct MenuRow {
    UINT id;  // 0 for a separator
    const wchar_t* caption;
};

struct PopupRow {
    const wchar_t* caption;
    std::vector<MenuRow> items;
};

TEST_F(MainWindowTest, MenuHoldsTheThreePopupsWithTheirJapaneseCommandsInOrder) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    const PopupRow popups[] = {
        {L"ファイル(&F)",
         {{IDM_START_BROADCAST, L"配信開始(&S)"}, {IDM_STOP_BROADCAST, L"配信終了(&E)"}, {0, nullptr},
          {IDM_CLOSE, L"閉じる(&X)"}}},
        {L"ツール(&T)",
         {{IDM_SONG_DETECT, L"曲情報検出(&D)"},
          {IDM_COPY_LISTEN_ADDRESS, L"聴取URLをコピー(&C)"},
          {0, nullptr},
          {IDM_SETTINGS, L"設定(&S)"}}},
        {L"ヘルプ(&H)", {{IDM_ABOUT, L"バージョン情報(&A)"}}},
    };
    HMENU bar = ::GetMenu(dialog);
    ASSERT_EQ(int(ARRAYSIZE(popups)), ::GetMenuItemCount(bar));
    for (int p = 0; p < int(ARRAYSIZE(popups)); ++p) {
        WCHAR caption[64] = {};
        ::GetMenuStringW(bar, p, caption, ARRAYSIZE(caption), MF_BYPOSITION);
        EXPECT_EQ(std::wstring(popups[p].caption), caption);
        HMENU popup = ::GetSubMenu(bar, p);
        ASSERT_NE(nullptr, popup) << p;
        ASSERT_EQ(int(popups[p].items.size()), ::GetMenuItemCount(popup)) << p;
        for (int i = 0; i < int(popups[p].items.size()); ++i) {
            const MenuRow& row = popups[p].items[i];
            SCOPED_TRACE(testing::Message() << "popup " << p << " item " << i);
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE | MIIM_ID;
            ASSERT_TRUE(::GetMenuItemInfoW(popup, i, TRUE, &info));
            if (row.id == 0) {
                EXPECT_TRUE(info.fType & MFT_SEPARATOR);
                continue;
            }
            EXPECT_EQ(row.id, info.wID);
            WCHAR text[64] = {};
            ::GetMenuStringW(popup, i, text, ARRAYSIZE(text), MF_BYPOSITION);
            EXPECT_EQ(std::wstring(row.caption), text);
        }
    }
}

TEST_F(MainWindowTest, RebarIsAToolWindowAcrossTheTopWithOneBandHoldingTheToolbar) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    HWND rebar = FindRebar(dialog);
    ASSERT_NE(nullptr, rebar);
    EXPECT_TRUE(::GetWindowLongA(rebar, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    const DWORD style = DWORD(::GetWindowLongA(rebar, GWL_STYLE));
    const DWORD wanted = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_BANDBORDERS | CCS_NODIVIDER;
    EXPECT_EQ(wanted, style & wanted) << std::hex << style;
    RECT r = ClientRectOfChild(dialog, rebar);
    EXPECT_EQ(0, r.top);
    EXPECT_EQ(0, r.left);

    HWND toolbar = FindToolbar(dialog);
    ASSERT_NE(nullptr, toolbar);
    ASSERT_EQ(1, ::SendMessageA(rebar, RB_GETBANDCOUNT, 0, 0));
    REBARBANDINFOA band{};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE;
    ASSERT_TRUE(::SendMessageA(rebar, RB_GETBANDINFOA, 0, reinterpret_cast<LPARAM>(&band)));
    const UINT bandStyle = RBBS_CHILDEDGE | RBBS_FIXEDBMP | RBBS_GRIPPERALWAYS;
    EXPECT_EQ(bandStyle, band.fStyle & bandStyle) << std::hex << band.fStyle;
    EXPECT_EQ(toolbar, band.hwndChild);
    const DWORD buttonSize = DWORD(::SendMessageA(toolbar, TB_GETBUTTONSIZE, 0, 0));
    EXPECT_EQ(UINT(HIWORD(buttonSize)), band.cyMinChild);
    EXPECT_GT(band.cxMinChild, 5u * 48u);
    // The band stands above the monitor group, which starts at 42 dialog units.
    EXPECT_LE(ClientRectOfChild(dialog, rebar).bottom, DialogUnits(dialog, 0, 42, 0, 0).top + 4);
}

TEST_F(MainWindowTest, ToolbarHasFiveImageButtonsAndASeparatorInOrder) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    HWND toolbar = FindToolbar(dialog);
    ASSERT_NE(nullptr, toolbar);
    EXPECT_EQ(IDC_TOOLBAR, ::GetDlgCtrlID(toolbar));
    const DWORD style = DWORD(::GetWindowLongA(toolbar, GWL_STYLE));
    EXPECT_EQ(DWORD(TBSTYLE_TOOLTIPS | TBSTYLE_FLAT), style & (TBSTYLE_TOOLTIPS | TBSTYLE_FLAT)) << std::hex << style;

    struct ButtonRow {
        int id, image;
        BYTE style;
    };
    const ButtonRow rows[] = {{IDM_START_BROADCAST, 0, BTNS_BUTTON}, {IDM_STOP_BROADCAST, 1, BTNS_BUTTON},
                              {0, -1, BTNS_SEP},                     {IDM_SONG_DETECT, 2, BTNS_CHECK},
                              {IDM_SETTINGS, 3, BTNS_BUTTON},        {IDM_ABOUT, 4, BTNS_BUTTON}};
    ASSERT_EQ(int(ARRAYSIZE(rows)), ::SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < int(ARRAYSIZE(rows)); ++i) {
        SCOPED_TRACE(testing::Message() << "button " << i);
        TBBUTTON button{};
        ASSERT_TRUE(::SendMessageA(toolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button)));
        EXPECT_EQ(rows[i].style, button.fsStyle & (BTNS_SEP | BTNS_CHECK | BTNS_GROUP | BTNS_DROPDOWN));
        if (rows[i].style == BTNS_SEP) continue;
        EXPECT_EQ(rows[i].id, button.idCommand);
        EXPECT_EQ(rows[i].image, button.iBitmap);
        // No text labels: the buttons show their images only.
        EXPECT_LE(::SendMessageA(toolbar, TB_GETBUTTONTEXTA, rows[i].id, 0), 0);
    }

    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(::SendMessageA(toolbar, TB_GETIMAGELIST, 0, 0));
    ASSERT_NE(nullptr, images);
    EXPECT_EQ(5, ::ImageList_GetImageCount(images));
    int cx = 0, cy = 0;
    ASSERT_TRUE(::ImageList_GetIconSize(images, &cx, &cy));
    EXPECT_EQ(48, cx);
    EXPECT_EQ(48, cy);
    EXPECT_EQ(::GetSysColor(COLOR_BTNFACE), ::ImageList_GetBkColor(images));
}

// Draws one image of the list over a magenta square and returns its 48x48 pixels (0x00RRGGBB).
std::vector<DWORD> DrawOverMagenta(HIMAGELIST images, int index, UINT style) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 48;
    info.bmiHeader.biHeight = -48;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win::UniqueGdiObject bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    win::UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
    std::vector<DWORD> pixels;
    if (!bitmap || !dc || !bits) return pixels;
    {
        win::SelectGuard select(dc.get(), bitmap.get());
        win::UniqueGdiObject magenta(::CreateSolidBrush(RGB(255, 0, 255)));
        RECT all{0, 0, 48, 48};
        ::FillRect(dc.get(), &all, static_cast<HBRUSH>(magenta.get()));
        ::ImageList_Draw(images, index, dc.get(), 0, 0, style);
        ::GdiFlush();
        const DWORD* p = static_cast<const DWORD*>(bits);
        for (int i = 0; i < 48 * 48; ++i) pixels.push_back(p[i] & 0xFFFFFF);
    }
    return pixels;
}

TEST_F(MainWindowTest, ToolbarImagesAreTransparentWhereTheStripIsWhite) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(::SendMessageA(FindToolbar(dialog), TB_GETIMAGELIST, 0, 0));
    ASSERT_NE(nullptr, images);
    const DWORD magenta = 0xFF00FF;
    for (int index = 0; index < 5; ++index) {
        SCOPED_TRACE(testing::Message() << "image " << index);
        const std::vector<DWORD> pixels = DrawOverMagenta(images, index, ILD_TRANSPARENT);
        ASSERT_EQ(48u * 48u, pixels.size());
        int background = 0, white = 0;
        for (DWORD p : pixels) {
            background += p == magenta;
            white += p == 0xFFFFFF;
        }
        EXPECT_EQ(magenta, pixels[0]) << std::hex << pixels[0];
        EXPECT_EQ(magenta, pixels[48 * 48 - 1]) << std::hex << pixels[48 * 48 - 1];
        EXPECT_EQ(0, white) << "white must be see-through, never drawn";
        // A picture, not an empty cell: at least a fifth of the cell is drawn.
        EXPECT_GT(48 * 48 - background, 48 * 48 / 5);
        EXPECT_LT(48 * 48 - background, 48 * 48);
    }
    // Drawn plainly, the see-through part takes the list's background, the button face.
    const std::vector<DWORD> normal = DrawOverMagenta(images, 0, ILD_NORMAL);
    ASSERT_FALSE(normal.empty());
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const DWORD faceRgb = (DWORD(GetRValue(face)) << 16) | (DWORD(GetGValue(face)) << 8) | GetBValue(face);
    EXPECT_EQ(faceRgb, normal[0]) << std::hex << normal[0];
}

const struct {
    UINT id;
    const wchar_t* tooltip;
} kTooltips[] = {
    {IDM_START_BROADCAST, L"配信開始"}, {IDM_STOP_BROADCAST, L"配信終了"}, {IDM_SONG_DETECT, L"曲情報検出"},
    {IDM_SETTINGS, L"設定"},           {IDM_ABOUT, L"バージョン情報"},
};

TEST_F(MainWindowTest, TooltipRequestsGetTheCommandsJapaneseTextInCodePage932) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    HWND toolbar = FindToolbar(dialog);
    for (const auto& row : kTooltips) {
        SCOPED_TRACE(testing::Message() << "command " << row.id);
        NMTTDISPINFOA info{};
        info.hdr.hwndFrom = toolbar;
        info.hdr.idFrom = row.id;
        info.hdr.code = TTN_NEEDTEXTA;
        info.lpszText = info.szText;
        std::memset(info.szText, 'x', sizeof(info.szText));
        EXPECT_EQ(FALSE, ::SendMessageA(dialog, WM_NOTIFY, row.id, reinterpret_cast<LPARAM>(&info)));
        EXPECT_EQ(ToCodePage(row.tooltip, 932), std::string(info.szText));
        EXPECT_EQ(info.szText, info.lpszText);
    }
}

TEST_F(MainWindowTest, TooltipRequestsForOtherIdsLeaveTheBufferAlone) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    for (UINT id : {0u, 1u, 2u, UINT(IDM_CLOSE), 40003u, 65535u}) {
        NMTTDISPINFOA info{};
        info.hdr.hwndFrom = FindToolbar(dialog);
        info.hdr.idFrom = id;
        info.hdr.code = TTN_NEEDTEXTA;
        info.lpszText = info.szText;
        std::memset(info.szText, 0x5A, sizeof(info.szText));
        ::SendMessageA(dialog, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(std::string(sizeof(info.szText), 'Z'), std::string(info.szText, sizeof(info.szText))) << id;
    }
}

TEST(MainToolbarTooltip, FillsAtMost79BytesAndATerminator) {
    // Every tooltip fits the 80-byte buffer; the copy never writes past it either way.
    for (const auto& row : kTooltips) {
        const char* text = ombrel::ToolbarTooltip(row.id);
        ASSERT_NE(nullptr, text);
        EXPECT_EQ(ToCodePage(row.tooltip, 932), std::string(text));
        NMTTDISPINFOA info{};
        info.hdr.idFrom = row.id;
        std::memset(info.szText, 'x', sizeof(info.szText));
        ASSERT_TRUE(ombrel::FillToolbarTooltip(&info));
        EXPECT_EQ('\0', info.szText[std::strlen(text)]);
        EXPECT_LE(std::strlen(info.szText), sizeof(info.szText) - 1);
    }
    EXPECT_EQ(nullptr, ombrel::ToolbarTooltip(IDM_CLOSE));
}

TEST_F(MainWindowTest, ToolbarsOwnTooltipShowsTheWindowsJapaneseText) {
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    HWND toolbar = FindToolbar(dialog);
    HWND tooltip = reinterpret_cast<HWND>(::SendMessageA(toolbar, TB_GETTOOLTIPS, 0, 0));
    ASSERT_NE(nullptr, tooltip);
    for (const auto& row : kTooltips) {
        SCOPED_TRACE(testing::Message() << "command " << row.id);
        WCHAR text[80] = {};
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = toolbar;
        tool.uId = row.id;
        tool.lpszText = text;
        ::SendMessageW(tooltip, TTM_GETTEXTW, ARRAYSIZE(text), reinterpret_cast<LPARAM>(&tool));
        // The toolbar reads the window's narrow answer in the system's code page.
        EXPECT_EQ(FromCodePage(ToCodePage(row.tooltip, 932), CP_ACP), std::wstring(text));
    }
}

}  // namespace
}  // namespace ombrel::test
