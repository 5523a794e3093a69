#include "tools/soak/PlayerHost.h"

#include "plugin/BroadcastControl.h"
#include "plugin/DspModule.h"
#include "plugin/PlayerRequests.h"
#include "plugin/Settings.h"
#include "standin/player/RequestAnswers.h"
#include "standin/player/WavWriter.h"
#include "tests/common/Files.h"
#include "ui/MainWindow.h"
#include "ui/ResourceIds.h"
#include "win/UniqueAny.h"

namespace ombrel::test::soak {
namespace {

std::string g_startBox;

BOOL CALLBACK AnswerStartBox(HWND window, LPARAM) {
    char name[64] = "";
    char caption[256] = "";
    ::GetClassNameA(window, name, sizeof name);
    ::GetWindowTextA(window, caption, sizeof caption);
    if (std::string(name) != "#32770" || std::string(caption) != "Ombrel DSP plugin v1.05") return TRUE;
    HWND text = ::GetDlgItem(window, 0xFFFF);
    char message[512] = "";
    if (text) ::GetWindowTextA(text, message, sizeof message);
    g_startBox = message[0] ? message : "a message box";
    ::PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void CALLBACK OnStartTimer(HWND, UINT, UINT_PTR, DWORD) {
    ::EnumThreadWindows(::GetCurrentThreadId(), AnswerStartBox, 0);
}

}  // namespace

PlayerHost::PlayerHost(const char* name) : window_(*this, name) {}

PlayerHost::~PlayerHost() {
    Quit();
    RemoveFolder(folder_);
}

bool PlayerHost::WriteTracks(int count, std::string* error) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "ombrel_soak_" + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(folder_.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i + 1);
        standin::WavContents contents;
        contents.format = standin::WavFormat{8000, 1, 8};
        contents.tags.artist = "Soak Artist " + n;
        contents.tags.title = "Soak Title " + n;
        contents.tags.album = "Soak Album";
        contents.tags.comment = "track " + n;
        contents.pcm.assign(8000, 0x80);
        const std::string path = folder_ + "\\track" + n + ".wav";
        if (!standin::WriteWavFile(path, contents)) {
            *error = "cannot write " + path;
            return false;
        }
        tracks_.push_back(path);
        titles_.push_back(n + ". Soak Artist " + n + " - Soak Title " + n);
    }
    return true;
}

bool PlayerHost::Init(std::string* error) {
    if (!window_.Handle()) {
        *error = "the player window could not be created";
        return false;
    }
    return host_.Attach(&ombrel::PluginModule(), ::GetModuleHandleA(nullptr), window_.Handle(), error);
}

void PlayerHost::Quit() { host_.Unload(); }

void PlayerHost::Announce(int index) {
    if (tracks_.empty()) return;
    index %= TrackCount();
    position_ = index;
    ::SendMessageA(window_.Handle(), kPlayerMessage, reinterpret_cast<WPARAM>(tracks_[index].c_str()),
                   kNotifyPlayingFile);
}

bool PlayerHost::Command(UINT id) {
    HWND main = ombrel::MainWindowHandle();
    if (!main || !::IsWindow(main)) return false;
    ::SendMessageA(main, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    return true;
}

bool PlayerHost::StartBroadcast(std::string* box) {
    g_startBox.clear();
    win::UniqueThreadTimer watch(::SetTimer(nullptr, 0, 100, OnStartTimer));
    Command(IDM_START_BROADCAST);
    if (box) *box = g_startBox;
    return ombrel::IsBroadcasting() != 0;
}

LRESULT PlayerHost::OnPlayerRequest(WPARAM wParam, LPARAM lParam) {
    switch (lParam) {
    case kRequestIsPlaying:
        return playing_ ? 1 : 0;
    case kRequestPlaylistPosition:
        return position_;
    case kRequestPlaylistFile: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= TrackCount()) return 0;
        return reinterpret_cast<LRESULT>(tracks_[index].c_str());
    }
    case kRequestPlaylistTitle: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= TrackCount()) return 0;
        return reinterpret_cast<LRESULT>(titles_[index].c_str());
    }
    case kRequestTag:
        return standin::AnswerTagRequest(wParam);
    case kRequestBasicInfo:
        return standin::AnswerBasicInfoRequest(wParam);
    default:
        return 0;
    }
}

SettingsFileGuard::SettingsFileGuard() : path_(ExeFolder() + "\\" + ombrel::kSettingsFileName) {
    existed_ = FileExists(path_);
    if (existed_) contents_ = ReadWholeFile(path_);
}

SettingsFileGuard::~SettingsFileGuard() {
    if (existed_)
        WriteWholeFile(path_, contents_);
    else
        ::DeleteFileA(path_.c_str());
}

}  // namespace ombrel::test::soak
