// The five pages as a user sees them: every control inside its page, no control over another,
// every text whole in its control with the pages' font (the ui_cp932 run measures the Japanese
// texts as a Japanese system shows them), every control the page code uses present, the number
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

namespace ombrel::test {
namespace {

// The controls each page's code reaches by id, with the kind it takes them for.
const struct {
    int page;
    int id;
    const char* className;
} kUsedControls[] = {
    {kCodecPage, IDC_CODEC_LIST, "ComboBox"},          {kCodecPage, IDC_FORMAT_LIST, "ComboBox"},
    {kCodecPage, IDC_BUFFER_WINDOW, "Edit"},           {kCodecPage, IDC_BUFFER_WINDOW_SPIN, UPDOWN_CLASSA},
    {kCodecPage, IDC_LANGUAGE_LIST, "ComboBox"},       {kOutputPage, IDC_PORT, "Edit"},
    {kOutputPage, IDC_PORT_SPIN, UPDOWN_CLASSA},       {kOutputPage, IDC_MAX_CLIENT, "Edit"},
    {kOutputPage, IDC_MAX_CLIENT_SPIN, UPDOWN_CLASSA}, {kOutputPage, IDC_PLAY_LOG_ENABLE, "Button"},
    {kOutputPage, IDC_PLAY_LOG_PATH, "Edit"},          {kOutputPage, IDC_PLAY_LOG_BROWSE, "Button"},
    {kAttributesPage, IDC_ATTRIBUTE_TITLE, "Edit"},    {kAttributesPage, IDC_ATTRIBUTE_AUTHOR, "Edit"},
    {kAttributesPage, IDC_ATTRIBUTE_ALBUM, "Edit"},    {kAttributesPage, IDC_ATTRIBUTE_COMPOSER, "Edit"},
    {kAttributesPage, IDC_ATTRIBUTE_GENRE, "Edit"},    {kAttributesPage, IDC_ATTRIBUTE_COPYRIGHT, "Edit"},
    {kAttributesPage, IDC_ATTRIBUTE_DESCRIPTION, "Edit"}, {kScriptPage, IDC_SCRIPT_ENABLE, "Button"},
    {kScriptPage, IDC_SCRIPT_BITRATE, "Edit"},         {kScriptPage, IDC_SCRIPT_BITRATE_SPIN, UPDOWN_CLASSA},
    {kScriptPage, IDC_BUFFER_WINDOW, "Edit"},          {kScriptPage, IDC_BUFFER_WINDOW_SPIN, UPDOWN_CLASSA},
    {kScriptPage, IDC_LANGUAGE_LIST, "ComboBox"},      {kScriptPage, IDC_SCRIPT_FORMAT, "Edit"},
    {kPeerCastPage, IDC_PEERCAST_ENABLE, "Button"},    {kPeerCastPage, IDC_PORT, "Edit"},
    {kPeerCastPage, IDC_PORT_SPIN, UPDOWN_CLASSA},     {kPeerCastPage, IDC_PEERCAST_CHANNEL, "Edit"},
    {kPeerCastPage, IDC_PEERCAST_ARTIST, "Edit"},      {kPeerCastPage, IDC_PEERCAST_TITLE, "Edit"},
    {kPeerCastPage, IDC_PEERCAST_ALBUM, "Edit"},       {kPeerCastPage, IDC_PEERCAST_RELAY, "Button"},
    {kPeerCastPage, IDC_PEERCAST_CONTACT, "Edit"},     {kPeerCastPage, IDC_PEERCAST_RELAY_IPV6, "Button"},
    {kOutputPage, IDC_PORT_MAPPING, "Button"},         {kOutputPage, IDC_ARCHIVE_ENABLE, "Button"},
    {kOutputPage, IDC_ARCHIVE_FOLDER, "Edit"},         {kOutputPage, IDC_ARCHIVE_BROWSE, "Button"},
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

RECT PlaceOnPage(HWND page, HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

struct Child {
    HWND window;
    RECT place;
    std::string className;
    DWORD style;
};

std::vector<Child> ChildrenOf(HWND page) {
    std::vector<Child> children;
    for (HWND child = ::GetWindow(page, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        children.push_back({child, PlaceOnPage(page, child), ClassName(child), DWORD(::GetWindowLongA(child, GWL_STYLE))});
    }
    return children;
}

bool IsGroupBox(const Child& c) { return c.className == "Button" && (c.style & BS_TYPEMASK) == BS_GROUPBOX; }

std::string Describe(const Child& c) {
    std::string text;
    for (wchar_t ch : WindowTextW(c.window)) text += ch < 0x80 ? char(ch) : '?';
    return c.className + " " + std::to_string(::GetDlgCtrlID(c.window)) + " \"" + text + "\" at (" +
           std::to_string(c.place.left) + "," + std::to_string(c.place.top) + ")-(" + std::to_string(c.place.right) +
           "," + std::to_string(c.place.bottom) + ")";
}

// The room a text needs with the control's font: wrapped at width when wrap is set.
SIZE TextNeeds(HWND control, const std::wstring& text, int width, bool wrap) {
    win::WindowDc dc(control);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ previous = ::SelectObject(dc.get(), font);
    RECT rect{0, 0, width, 0};
    ::DrawTextW(dc.get(), text.c_str(), int(text.size()), &rect,
                DT_CALCRECT | DT_EXPANDTABS | (wrap ? DT_WORDBREAK : DT_SINGLELINE));
    ::SelectObject(dc.get(), previous);
    return {rect.right, rect.bottom};
}

// A label shows its text whole: each of its lines on one line, all within the
// label's height. A check box or button caption fits beside its box; a group's title on its frame.
void ExpectTextFits(const Child& c) {
    const std::wstring text = WindowTextW(c.window);
    if (text.empty()) return;
    RECT client{};
    ::GetClientRect(c.window, &client);
    if (c.className == "Static") {
        if (text.find(L'\n') == std::wstring::npos) {
            const SIZE needs = TextNeeds(c.window, text, client.right, false);
            EXPECT_LE(needs.cx, client.right) << Describe(c) << ": its line needs " << needs.cx << " pixels";
        } else {
            // The lines were broken by hand, so a line wrapped again splits a word.
            size_t start = 0;
            for (size_t end = 0; end != std::wstring::npos; start = end + 1) {
                end = text.find(L'\n', start);
                const std::wstring line = text.substr(start, end == std::wstring::npos ? end : end - start);
                const SIZE needs = TextNeeds(c.window, line, client.right, false);
                EXPECT_LE(needs.cx, client.right) << Describe(c) << ": line " << line.size() << " characters long at "
                                                  << start << " needs " << needs.cx << " pixels";
            }
            const SIZE needs = TextNeeds(c.window, text, client.right, true);
            EXPECT_LE(needs.cy, client.bottom) << Describe(c) << ": its lines need " << needs.cy << " pixels";
        }
        return;
    }
    if (c.className != "Button") return;
    const SIZE needs = TextNeeds(c.window, text, client.right, false);
    const DWORD type = c.style & BS_TYPEMASK;
    int room = client.right;
    if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX) room -= ::GetSystemMetrics(SM_CXMENUCHECK) + 2;
    if (type == BS_GROUPBOX) room -= 2 * ::GetSystemMetrics(SM_CXEDGE) + 8;
    EXPECT_LE(needs.cx, room) << Describe(c) << ": needs " << needs.cx << " pixels";
}

// Two controls overlap unless one is a group box around the other, or an up-down sits on the
// field it is attached to.
bool MayOverlap(const Child& a, const Child& b) {
    if (IsGroupBox(a) || IsGroupBox(b)) return true;
    auto buddy = [](const Child& spin, const Child& field) {
        return spin.className == UPDOWN_CLASSA &&
               reinterpret_cast<HWND>(::SendMessageA(spin.window, UDM_GETBUDDY, 0, 0)) == field.window;
    };
    return buddy(a, b) || buddy(b, a);
}

void ExpectLaidOut(HWND page) {
    RECT inside{};
    ::GetClientRect(page, &inside);
    const std::vector<Child> children = ChildrenOf(page);
    for (size_t i = 0; i < children.size(); ++i) {
        const Child& c = children[i];
        RECT clipped{};
        ::IntersectRect(&clipped, &c.place, &inside);
        EXPECT_TRUE(::EqualRect(&clipped, &c.place)) << Describe(c) << " reaches outside the page";
        ExpectTextFits(c);
        for (size_t j = i + 1; j < children.size(); ++j) {
            RECT both{};
            if (!MayOverlap(c, children[j]) && ::IntersectRect(&both, &c.place, &children[j].place))
                ADD_FAILURE() << Describe(c) << " overlaps " << Describe(children[j]);
        }
    }
}

TEST_F(SheetTest, PagesShowTheirJapaneseTextsWholeWithNoControlOverAnother) {
    Do([&] {
        for (int page = kOutputPage; page < kPageCount; ++page) ASSERT_TRUE(Select(page));
        // The pages are laid out for a Japanese system's fonts; elsewhere their texts are not
        // even shown.
        for (int page = kCodecPage; page < kPageCount && ::GetACP() == 932; ++page) {
            SCOPED_TRACE(testing::Message() << "page " << page);
            ExpectLaidOut(Page(page));
        }
        for (const auto& used : kUsedControls) {
            HWND control = Control(used.page, used.id);
            EXPECT_NE(nullptr, control) << "page " << used.page << " control " << used.id;
            if (control) {
                EXPECT_EQ(used.className, ClassName(control)) << "page " << used.page << " control " << used.id;
            }
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
            // Right-aligned beside the field, which gives up the room it takes.
            const RECT fieldPlace = PlaceOnPage(Page(spin.page), field);
            const RECT spinPlace = PlaceOnPage(Page(spin.page), upDown);
            EXPECT_NEAR(fieldPlace.right, spinPlace.left, 2);
            EXPECT_NEAR(fieldPlace.top, spinPlace.top, 2);
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
}  // namespace ombrel::test
