#include "ui/MainToolbar.h"

#include <cstring>

#include "ui/ResourceIds.h"

namespace ombrel {
namespace {

constexpr int kImageSize = 48;
constexpr int kBandWidth = 1000;

struct ToolbarCommand {
    UINT id;
    const char* tooltip;
};

const ToolbarCommand kCommands[] = {
    {IDM_START_BROADCAST, "配信開始"},
    {IDM_STOP_BROADCAST, "配信終了"},
    {IDM_SONG_DETECT, "曲情報検出"},
    {IDM_SETTINGS, "設定"},
    {IDM_ABOUT, "バージョン情報"},
};

win::UniqueWindow CreateRebar(HWND dialog, HINSTANCE instance) {
    win::UniqueWindow rebar(::CreateWindowExA(
        WS_EX_TOOLWINDOW, REBARCLASSNAMEA, nullptr,
        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_BANDBORDERS | CCS_NODIVIDER,
        0, 0, 0, 0, dialog, nullptr, instance, nullptr));
    if (rebar) {
        REBARINFO info{};
        info.cbSize = sizeof(info);
        ::SendMessageA(rebar.get(), RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&info));
    }
    return rebar;
}

// The strip of bitmap 107, masked on white, over the button face.
win::UniqueImageList CreateToolbarImages(HINSTANCE instance) {
    win::UniqueGdiObject strip(::LoadImageA(instance, MAKEINTRESOURCEA(IDB_TOOLBAR), IMAGE_BITMAP, 0, 0,
                                            LR_CREATEDIBSECTION));
    win::UniqueImageList images(::ImageList_Create(kImageSize, kImageSize, ILC_COLOR32 | ILC_MASK, 4, 4));
    if (!images) return images;
    ::ImageList_SetBkColor(images.get(), ::GetSysColor(COLOR_BTNFACE));
    if (strip) ::ImageList_AddMasked(images.get(), static_cast<HBITMAP>(strip.get()), RGB(255, 255, 255));
    return images;
}

void AddButtons(HWND toolbar) {
    auto button = [](int image, UINT id, BYTE style) {
        TBBUTTON b{};
        b.iBitmap = image;
        b.idCommand = int(id);
        b.fsState = TBSTATE_ENABLED;
        b.fsStyle = style;
        return b;
    };
    const TBBUTTON buttons[] = {
        button(0, IDM_START_BROADCAST, BTNS_BUTTON),
        button(1, IDM_STOP_BROADCAST, BTNS_BUTTON),
        button(0, 0, BTNS_SEP),
        button(2, IDM_SONG_DETECT, BTNS_CHECK),
        button(3, IDM_SETTINGS, BTNS_BUTTON),
        button(4, IDM_ABOUT, BTNS_BUTTON),
    };
    ::SendMessageA(toolbar, TB_ADDBUTTONSA, WPARAM(ARRAYSIZE(buttons)), reinterpret_cast<LPARAM>(buttons));
}

win::UniqueWindow CreateToolbar(HWND dialog, HINSTANCE instance) {
    return win::UniqueWindow(::CreateWindowExA(
        0, TOOLBARCLASSNAMEA, nullptr, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | TBSTYLE_FLAT, 0, 0, 0, 0,
        dialog, reinterpret_cast<HMENU>(IDC_TOOLBAR), instance, nullptr));
}

void FillToolbar(HWND toolbar, HIMAGELIST images) {
    ::SendMessageA(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    ::SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    AddButtons(toolbar);
    ::SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
}

void InsertBand(HWND rebar, HWND toolbar) {
    RECT bounds{};
    ::GetWindowRect(toolbar, &bounds);
    const DWORD buttonSize = DWORD(::SendMessageA(toolbar, TB_GETBUTTONSIZE, 0, 0));

    REBARBANDINFOA band{};
    // The record as Windows XP knows it: built for later headers, sizeof adds the chevron fields
    // of Vista, and XP's rebar refuses the band, leaving the window without its toolbar.
    band.cbSize = REBARBANDINFOA_V6_SIZE;
    band.fMask = RBBIM_STYLE | RBBIM_TEXT | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE;
    band.fStyle = RBBS_CHILDEDGE | RBBS_FIXEDBMP | RBBS_GRIPPERALWAYS;
    band.lpText = nullptr;
    band.hwndChild = toolbar;
    band.cxMinChild = UINT(bounds.right - bounds.left);
    band.cyMinChild = HIWORD(buttonSize);
    band.cx = kBandWidth;
    ::SendMessageA(rebar, RB_INSERTBANDA, WPARAM(-1), reinterpret_cast<LPARAM>(&band));
}

}  // namespace

MainToolbar CreateMainToolbar(HWND dialog, HINSTANCE instance) {
    MainToolbar parts;
    parts.rebar = CreateRebar(dialog, instance);
    parts.toolbar = CreateToolbar(dialog, instance);
    if (!parts.toolbar) return parts;
    parts.images = CreateToolbarImages(instance);
    FillToolbar(parts.toolbar.get(), parts.images.get());
    if (parts.rebar) InsertBand(parts.rebar.get(), parts.toolbar.get());
    return parts;
}

const char* ToolbarTooltip(UINT_PTR commandId) {
    for (const ToolbarCommand& command : kCommands)
        if (command.id == commandId) return command.tooltip;
    return nullptr;
}

bool FillToolbarTooltip(NMTTDISPINFOA* info) {
    const char* text = ToolbarTooltip(info->hdr.idFrom);
    if (!text) return false;
    const size_t capacity = sizeof(info->szText);
    std::strncpy(info->szText, text, capacity - 1);
    info->szText[capacity - 1] = '\0';
    info->lpszText = info->szText;
    return true;
}

}  // namespace ombrel
