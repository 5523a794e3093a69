// ombrel_user: a user at the screen, for pictures of the plug-in's windows. It works on the
// plug-in of a running ombrel_player and takes its steps from the command line, in order:
//   wait-main SECONDS       wait for the main window
//   post ID                 post WM_COMMAND ID to the main window (menu or toolbar command)
//   capture-main FILE       picture of the main window (BMP)
//   capture-popup FILE      picture of the window the main window is showing modally
//   capture-box TITLE FILE  picture of the ownerless dialog titled TITLE (a message box)
//   page N                  show page N (from 0) of the settings sheet
//   type ID TEXT            put TEXT into field ID of the sheet's current page
//   press-popup ID          press button ID (1 OK, 2 Cancel) of the modal window
//   press-box TITLE ID      press button ID of the ownerless dialog titled TITLE
//   sleep MS
//   watch ID MS             print the main window's control ID each time its text changes, with the
//                           milliseconds since the last post, until it shows a settled line (not
//                           empty, without the ellipsis of a step in progress) or MS have passed
//   clipboard               print the clipboard's text
// Texts are printed in UTF-8.
// Exit code 0 when every step found its window, 1 otherwise, 2 for a bad command line.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "standin/player/WindowCapture.h"
#include "standin/user/UserActions.h"

namespace {

constexpr DWORD kWaitMs = 30000;

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

bool Capture(HWND window, const std::string& path) {
    std::string error;
    // Let the window finish painting (and the meter draw a few passes) first.
    ::Sleep(300);
    if (!standin::CaptureWindowToBmp(window, path, &error)) {
        Say("capture " + path + " failed: " + error);
        return false;
    }
    Say("captured " + path);
    return true;
}

HWND Popup(HWND main) {
    HWND popup = main ? standin::WaitForPopupOf(main, kWaitMs) : nullptr;
    if (!popup) Say("no modal window over the main window");
    return popup;
}

HWND Box(const std::string& title) {
    HWND box = standin::WaitForDialogTitled(title.c_str(), kWaitMs);
    if (!box) Say("no dialog titled \"" + title + "\"");
    return box;
}

void Press(HWND dialog, int id) {
    // The button's own click, as the mouse would give it.
    HWND button = ::GetDlgItem(dialog, id);
    if (button)
        ::PostMessageA(button, BM_CLICK, 0, 0);
    else
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    standin::WaitUntilGone(dialog, kWaitMs);
}

std::string Utf8(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(size_t(size - 1));
    return out;
}

std::wstring ControlText(HWND main, int id) {
    wchar_t text[512] = L"";
    ::GetDlgItemTextW(main, id, text, ARRAYSIZE(text));
    return text;
}

// The text settles once it is neither empty nor a step in progress (ending with an ellipsis).
bool Watch(HWND main, int id, DWORD limitMs, DWORD postedAt) {
    const DWORD start = ::GetTickCount();
    std::wstring last = L"\x1";
    for (;;) {
        const std::wstring text = ControlText(main, id);
        if (text != last) {
            Say("[" + std::to_string(::GetTickCount() - postedAt) + " ms] " + std::to_string(id) + ": " +
                Utf8(text.c_str()));
            last = text;
        }
        if (!text.empty() && text.find(L'\x2026') == std::wstring::npos) return true;
        if (::GetTickCount() - start > limitMs) return false;
        ::Sleep(10);
    }
}

bool PrintClipboard() {
    if (!::OpenClipboard(nullptr)) return false;
    HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    const wchar_t* text = data ? static_cast<const wchar_t*>(::GlobalLock(data)) : nullptr;
    Say("clipboard: " + (text ? Utf8(text) : std::string()));
    if (text) ::GlobalUnlock(data);
    ::CloseClipboard();
    return text != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    HWND main = ::FindWindowA(nullptr, "Ombrel DSP plugin");
    bool ok = true;
    DWORD postedAt = ::GetTickCount();
    auto need = [&](size_t i, size_t n) {
        if (i + n < args.size()) return true;
        std::fprintf(stderr, "ombrel_user: %s needs %u value(s)\n", args[i].c_str(), unsigned(n));
        std::exit(2);
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& verb = args[i];
        if (verb == "wait-main" && need(i, 1)) {
            main = standin::WaitForPluginWindow(DWORD(std::atof(args[++i].c_str()) * 1000));
            if (!main) Say("no main window");
            ok &= main != nullptr;
        } else if (verb == "post" && need(i, 1)) {
            const int id = std::atoi(args[++i].c_str());
            ok &= main && ::PostMessageA(main, WM_COMMAND, WPARAM(id), 0);
            postedAt = ::GetTickCount();
            Say("posted command " + std::to_string(id));
        } else if (verb == "capture-main" && need(i, 1)) {
            const std::string& path = args[++i];
            ok &= main && Capture(main, path);
        } else if (verb == "capture-popup" && need(i, 1)) {
            const std::string& path = args[++i];
            HWND popup = Popup(main);
            ok &= popup && Capture(popup, path);
        } else if (verb == "capture-box" && need(i, 2)) {
            HWND box = Box(args[i + 1]);
            ok &= box && Capture(box, args[i + 2]);
            i += 2;
        } else if (verb == "page" && need(i, 1)) {
            const int page = std::atoi(args[++i].c_str());
            HWND sheet = Popup(main);
            ok &= sheet && ::SendMessageA(sheet, PSM_SETCURSEL, WPARAM(page), 0);
            Say("page " + std::to_string(page));
        } else if (verb == "type" && need(i, 2)) {
            HWND sheet = Popup(main);
            HWND page = sheet ? HWND(::SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) : nullptr;
            HWND field = page ? ::GetDlgItem(page, std::atoi(args[i + 1].c_str())) : nullptr;
            ok &= field && ::SendMessageA(field, WM_SETTEXT, 0, LPARAM(args[i + 2].c_str()));
            Say("typed into " + args[i + 1]);
            i += 2;
        } else if (verb == "press-popup" && need(i, 1)) {
            HWND popup = Popup(main);
            if (popup) Press(popup, std::atoi(args[i + 1].c_str()));
            ok &= popup != nullptr;
            ++i;
        } else if (verb == "press-box" && need(i, 2)) {
            HWND box = Box(args[i + 1]);
            if (box) Press(box, std::atoi(args[i + 2].c_str()));
            ok &= box != nullptr;
            i += 2;
        } else if (verb == "watch" && need(i, 2)) {
            const int id = std::atoi(args[i + 1].c_str());
            ok &= main && Watch(main, id, DWORD(std::atoi(args[i + 2].c_str())), postedAt);
            i += 2;
        } else if (verb == "clipboard") {
            ok &= PrintClipboard();
        } else if (verb == "sleep" && need(i, 1)) {
            ::Sleep(DWORD(std::atoi(args[++i].c_str())));
        } else {
            std::fprintf(stderr, "ombrel_user: unknown step %s\n", verb.c_str());
            return 2;
        }
    }
    return ok ? 0 : 1;
}
