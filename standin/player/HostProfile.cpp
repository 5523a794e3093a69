#include "standin/player/HostProfile.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "plugin/PlayerRequests.h"
#include "standin/player/WideText.h"
#include "win/UniqueAny.h"

namespace standin {
namespace {

constexpr char kHostWindowClass[] = "OmbrelStandInHostWindow";
constexpr char kFakeWindowTitle[] = "Winamp v1.x";
constexpr UINT kRunWork = WM_APP + 20;  // wParam = const std::function<void()>*
constexpr UINT kBlock = WM_APP + 21;    // wParam = milliseconds
constexpr UINT kEndHelper = WM_APP + 22;

// The answer to request 0 of the BASS fake window ("Winamp v1.x") and of the DeaDBeeF bridge.
constexpr LRESULT kLeanVersion = 0x1000;
constexpr LRESULT kBridgeVersion = 0x2901;
// Winamp 5.9x's one title buffer; its texts are far shorter.
constexpr size_t kSharedBufferBytes = 4096;

bool OneOf(LPARAM request, std::initializer_list<LPARAM> requests) {
    return std::find(requests.begin(), requests.end(), request) != requests.end();
}

struct KindName {
    HostKind kind;
    const char* name;
};
const KindName kKindNames[] = {
    {HostKind::Winamp5, "winamp5"}, {HostKind::Winamp2, "winamp2"}, {HostKind::Lean, "lean"},
    {HostKind::Utf8, "utf8"},       {HostKind::Silent, "silent"},   {HostKind::ForeignThread, "foreign-thread"},
};

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* answers = reinterpret_cast<HostAnswers*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    try {
        switch (message) {
        case kPlayerMessage:
            return answers ? answers->Answer(wParam, lParam) : 0;
        case kRunWork:
            (*reinterpret_cast<const std::function<void()>*>(wParam))();
            return 0;
        case kBlock:
            ::Sleep(DWORD(wParam));
            return 0;
        case kEndHelper:
            ::DestroyWindow(window);
            ::PostQuitMessage(0);
            return 0;
        }
    } catch (...) {
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterHostClass() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kHostWindowClass;
    return ::RegisterClassA(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateHostWindow(HWND parent, HostAnswers* answers) {
    static const bool registered = RegisterHostClass();
    if (!registered) return nullptr;
    return ::CreateWindowExA(0, kHostWindowClass, kFakeWindowTitle, 0, 0, 0, 0, 0, parent, nullptr,
                             ::GetModuleHandleA(nullptr), answers);
}

}  // namespace

bool ParseHostKind(const std::string& text, HostKind* kind) {
    for (const KindName& k : kKindNames) {
        if (text == k.name) {
            *kind = k.kind;
            return true;
        }
    }
    return false;
}

const char* HostKindName(HostKind kind) {
    for (const KindName& k : kKindNames)
        if (k.kind == kind) return k.name;
    return "standard";
}

unsigned HostVersion(HostKind kind, unsigned version) {
    switch (kind) {
    case HostKind::Winamp5: return version >= unsigned(kFirstUnicodePlayer) ? version : 0x5066;
    case HostKind::Winamp2: return version < unsigned(kFirstUnicodePlayer) ? version : 0x2095;
    default: return version;
    }
}

bool HostAnnounces(HostKind kind) {
    return kind == HostKind::Standard || kind == HostKind::Winamp5 || kind == HostKind::Winamp2;
}

bool HostAnnouncesWide(HostKind kind) { return kind == HostKind::Winamp5; }

HostAnswers::HostAnswers(HostKind kind, const Playlist& playlist, const PlaybackState& state, Standard standard)
    : kind_(kind), playlist_(playlist), state_(state), standard_(std::move(standard)) {}

LRESULT HostAnswers::Answer(WPARAM wParam, LPARAM lParam) {
    switch (kind_) {
    case HostKind::Standard:
        return standard_(wParam, lParam);
    case HostKind::Winamp5:
    case HostKind::Winamp2: {
        // What the stand-in knows; any other request answers 1, as the player's default does.
        if (!OneOf(lParam, {kRequestVersion, kRequestIsPlaying, kRequestPlaylistPosition, kRequestPlaylistFile,
                            kRequestPlaylistTitle, kRequestPlaylistTitleW, kRequestTag, kRequestBasicInfo,
                            kRequestSettingsFolder, kRequestBasicInfoW, kRequestTagW, 1335}))
            return 1;
        const LRESULT answer = standard_(wParam, lParam);
        if (kind_ == HostKind::Winamp5 &&
            OneOf(lParam, {kRequestPlaylistFile, kRequestPlaylistTitle, kRequestPlaylistTitleW}))
            return SharedBuffer(answer, lParam);
        return answer;
    }
    case HostKind::Lean:
        if (lParam == kRequestVersion) return kLeanVersion;
        return OneOf(lParam, {102, kRequestIsPlaying, 105, 124, kRequestPlaylistPosition, 126, kRequestPlaylistFile,
                              kRequestPlaylistTitle})
                   ? standard_(wParam, lParam)
                   : 0;
    case HostKind::Utf8: {
        if (lParam == kRequestIsPlaying) return standard_(wParam, lParam);
        if (lParam != kRequestPlaylistTitle) return 0;  // 125 stays 0; no path, tags or version
        const PlaylistEntry* entry = playlist_.At(state_.position.load());
        if (entry == nullptr) return 0;
        narrow_ = Utf8FromWide(entry->wideTitle);
        return reinterpret_cast<LRESULT>(narrow_.c_str());
    }
    case HostKind::Silent:
        return 0;
    case HostKind::ForeignThread:
        if (lParam == kRequestVersion) return kBridgeVersion;
        if (OneOf(lParam, {kRequestIsPlaying, 105, 124, kRequestPlaylistPosition, 126, 127}))
            return standard_(wParam, lParam);
        if (OneOf(lParam, {kRequestPlaylistFile, kRequestPlaylistTitle}) && int(wParam) == state_.position.load())
            return standard_(wParam, lParam);
        return 0;
    }
    return 0;
}

// Winamp 5.9x copies each of these texts into the one buffer it hands out.
LRESULT HostAnswers::SharedBuffer(LRESULT answer, LPARAM lParam) {
    if (answer == 0) return 0;
    narrow_.assign(kSharedBufferBytes, '\0');
    if (lParam == kRequestPlaylistTitleW) {
        const auto* text = reinterpret_cast<const wchar_t*>(answer);
        const size_t units = std::min(std::wcslen(text), kSharedBufferBytes / sizeof(wchar_t) - 1);
        std::memcpy(&narrow_[0], text, units * sizeof(wchar_t));
    } else {
        const auto* text = reinterpret_cast<const char*>(answer);
        std::memcpy(&narrow_[0], text, std::min(std::strlen(text), kSharedBufferBytes - 1));
    }
    return reinterpret_cast<LRESULT>(narrow_.data());
}

struct HostWindow::Helper {
    HostAnswers* answers = nullptr;
    bool messageOnly = false;
    win::UniqueEvent ready{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    win::UniqueThread thread;
    HWND window = nullptr;

    static DWORD WINAPI Run(LPVOID parameter) {
        auto* self = static_cast<Helper*>(parameter);
        self->window = CreateHostWindow(self->messageOnly ? HWND_MESSAGE : nullptr, self->answers);
        ::SetEvent(self->ready.get());
        if (self->window == nullptr) return 1;
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        return 0;
    }
};

HostWindow::HostWindow(HostKind kind, HWND mainWindow, HostAnswers& answers)
    : kind_(kind), mainWindow_(mainWindow), answers_(answers) {
    if (kind == HostKind::Lean || kind == HostKind::Utf8) {
        fake_ = CreateHostWindow(nullptr, &answers_);  // hidden: never shown
    } else if (kind == HostKind::Silent || kind == HostKind::ForeignThread) {
        helper_ = std::make_unique<Helper>();
        helper_->answers = &answers_;
        helper_->messageOnly = kind == HostKind::ForeignThread;
        helper_->thread.reset(::CreateThread(nullptr, 0, &Helper::Run, helper_.get(), 0, nullptr));
        if (helper_->thread) ::WaitForSingleObject(helper_->ready.get(), INFINITE);
    }
}

HostWindow::~HostWindow() {
    if (fake_) ::DestroyWindow(fake_);
    if (helper_ && helper_->thread) {
        if (helper_->window) ::PostMessageA(helper_->window, kEndHelper, 0, 0);
        ::WaitForSingleObject(helper_->thread.get(), INFINITE);
    }
}

HWND HostWindow::PluginParent() const {
    if (fake_) return fake_;
    if (helper_) return helper_->window;
    return mainWindow_;
}

void HostWindow::RunOnInitThread(const std::function<void()>& work) {
    if (kind_ == HostKind::Silent && helper_ && helper_->window) {
        ::SendMessageA(helper_->window, kRunWork, reinterpret_cast<WPARAM>(&work), 0);
        return;
    }
    work();
}

bool HostWindow::BlockWindowThread(DWORD ms) {
    if (!helper_ || !helper_->window) return false;
    return ::PostMessageA(helper_->window, kBlock, WPARAM(ms), 0) != FALSE;
}

}  // namespace standin
