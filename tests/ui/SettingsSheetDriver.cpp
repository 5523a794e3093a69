#include "tests/ui/SettingsSheetDriver.h"

#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <cstdlib>

namespace ombrel::test {
namespace {

ModalDriver* g_driver = nullptr;

BOOL CALLBACK CollectWindow(HWND window, LPARAM windows) {
    if (::IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM windows) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    ::EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

}  // namespace

std::string Cp932(const char* utf8) {
    std::wstring wide = Wide(utf8);
    int bytes = ::WideCharToMultiByte(932, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? bytes : 1, '\0');
    ::WideCharToMultiByte(932, 0, wide.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    text.resize(bytes > 0 ? bytes - 1 : 0);
    return text;
}

std::wstring Wide(const char* utf8) {
    int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring text(units > 0 ? units : 1, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &text[0], units);
    text.resize(units > 0 ? units - 1 : 0);
    return text;
}

std::string Utf8(const std::wstring& wide) {
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? bytes : 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    text.resize(bytes > 0 ? bytes - 1 : 0);
    return text;
}

std::vector<HWND> ThreadWindows() {
    std::vector<HWND> windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::string WindowTextA(HWND window) {
    char text[4096] = "";
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

std::wstring WindowTextW(HWND window) {
    wchar_t text[4096] = L"";
    ::GetWindowTextW(window, text, 4096);
    return text;
}

std::string ClassName(HWND window) {
    char name[256] = "";
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

bool JapaneseCodePage() { return ::GetACP() == 932; }

bool RunsUnderTheExpectedCodePage() {
    const char* expected = std::getenv("OMBREL_EXPECT_ACP");
    return !expected || UINT(std::atoi(expected)) == ::GetACP();
}

ModalDriver::ModalDriver(std::string messageBoxCaption) : boxCaption_(std::move(messageBoxCaption)) {}

ModalDriver::~ModalDriver() {
    if (g_driver == this) g_driver = nullptr;
}

void ModalDriver::When(Ready ready, Action action) { steps_.push_back({std::move(ready), std::move(action)}); }

void ModalDriver::Run(const std::function<void()>& body, DWORD timeoutMs) {
    g_driver = this;
    start_ = ::GetTickCount();
    timeout_ = timeoutMs;
    timer_.reset(::SetTimer(nullptr, 0, 10, Tick));
    body();
    timer_.reset();
    g_driver = nullptr;
}

void CALLBACK ModalDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_driver) g_driver->OnTick();
}

void ModalDriver::OnTick() {
    if (timedOut_ || ::GetTickCount() - start_ > timeout_) {
        timedOut_ = true;
        CancelEverything();
        return;
    }
    AnswerMessageBoxes();
    // A step may be waiting inside a nested modal loop (a message box, the file chooser):
    // the next one starts only when it has returned.
    if (busy_ || next_ >= steps_.size()) return;
    Step& step = steps_[next_];
    if (step.ready && !step.ready()) return;
    ++next_;
    busy_ = true;
    step.action();
    busy_ = false;
}

void ModalDriver::AnswerMessageBoxes() {
    for (HWND window : ThreadWindows()) {
        if (ClassName(window) != "#32770" || WindowTextA(window) != boxCaption_) continue;
        if (std::find(answered_.begin(), answered_.end(), window) != answered_.end()) continue;
        MessageBoxSeen box;
        box.caption = WindowTextA(window);
        for (HWND child : Children(window)) {
            std::string kind = ClassName(child);
            LONG style = ::GetWindowLongA(child, GWL_STYLE);
            if (kind == "Button") {
                ++box.buttons;
            } else if (kind == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
                box.hasIcon = box.hasIcon || ::SendMessageA(child, STM_GETICON, 0, 0) != 0;
            } else if (kind == "Static") {
                std::string text = WindowTextA(child);
                if (text.size() > box.text.size()) {
                    box.text = text;
                    box.wideText = WindowTextW(child);
                }
            }
        }
        boxes_.push_back(box);
        answered_.push_back(window);
        ::PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
}

void ModalDriver::CancelEverything() {
    for (HWND window : ThreadWindows()) {
        if (ClassName(window) != "#32770") continue;
        if (::FindWindowExA(window, nullptr, WC_TABCONTROLA, nullptr))
            ::PostMessageA(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        else
            ::PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
}

}  // namespace ombrel::test
