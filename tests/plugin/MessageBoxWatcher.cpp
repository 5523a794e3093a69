#include "tests/plugin/MessageBoxWatcher.h"

namespace ombrel::test {
namespace {

// The message box's own control ids.
constexpr int kTextControl = 0xFFFF;
constexpr int kIconControl = 0x0440;

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(const char* caption) : caption_(caption) {
    thread_ = std::thread([this] { Run(); });
}

MessageBoxWatcher::~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenMessageBox> MessageBoxWatcher::Seen() {
    std::lock_guard<std::mutex> hold(mutex_);
    return seen_;
}

void MessageBoxWatcher::Run() {
    while (!stop_) {
        HWND box = ::FindWindowA("#32770", caption_.c_str());
        if (!box || !::IsWindowVisible(box)) {
            ::Sleep(20);
            continue;
        }
        SeenMessageBox seen;
        char text[1024] = {};
        ::GetDlgItemTextA(box, kTextControl, text, sizeof text);
        seen.text = text;
        seen.owned = ::GetWindow(box, GW_OWNER) != nullptr;
        const HICON shown =
            reinterpret_cast<HICON>(::SendDlgItemMessageA(box, kIconControl, STM_GETICON, 0, 0));
        seen.errorIcon = shown != nullptr && shown == ::LoadIconA(nullptr, IDI_HAND);
        {
            std::lock_guard<std::mutex> hold(mutex_);
            seen_.push_back(seen);
        }
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
        while (::IsWindow(box) && !stop_) ::Sleep(10);
    }
}

}  // namespace ombrel::test
