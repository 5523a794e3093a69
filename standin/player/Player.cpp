#include "standin/player/Player.h"

#include "plugin/PlayerRequests.h"
#include "standin/player/RequestAnswers.h"
#include "standin/player/WideText.h"

namespace standin {
namespace {

std::string InstallFolder(const std::string& given) {
    if (!given.empty()) return given;
    char exe[MAX_PATH] = "";
    const DWORD length = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string folder(exe, length < MAX_PATH ? length : 0);
    return folder.substr(0, folder.find_last_of('\\'));
}

}  // namespace

Player::Player(const PlayerOptions& options)
    : options_(options),
      playlist_(options.files, options.wideFiles),
      answers_(options.host, playlist_, state_, [this](WPARAM w, LPARAM l) { return StandardAnswer(w, l); }),
      window_(*this, options.windowTitle.c_str()),
      hostWindow_(options.host, window_.Handle(), answers_),
      audio_(playlist_, host_, stats_, state_, window_.Handle()),
      settingsFolder_(PrepareSettingsFolder(options.wideSettingsFolder.empty() ? WideFromAnsi(options.settingsFolder)
                                                                               : options.wideSettingsFolder)),
      ansiSettingsFolder_(options.version >= kFirstSettingsFolderPlayer ? WinampAnsiPath(settingsFolder_)
                                                                        : InstallFolder(options.installFolder)) {
    for (int i = 0; i < playlist_.Size(); ++i) {
        const PlaylistEntry& entry = *playlist_.At(i);
        announcedPaths_.push_back(HasUnicode() ? WinampAnsiPath(entry.widePath) : entry.path);
    }
}

Player::~Player() {
    UnloadPlugin();
}

bool Player::LoadPlugin(const std::string& dllPath, std::string* error) {
    Stop();
    bool loaded = false;
    hostWindow_.RunOnInitThread([&] { loaded = host_.Load(dllPath, PluginParent(), error); });
    return loaded;
}

bool Player::AttachModule(DspModule* module, std::string* error) {
    Stop();
    bool attached = false;
    hostWindow_.RunOnInitThread(
        [&] { attached = host_.Attach(module, ::GetModuleHandleA(nullptr), PluginParent(), error); });
    return attached;
}

void Player::UnloadPlugin() {
    Stop();
    host_.Unload();
}

void Player::Play() {
    if (State() == PlayState::Paused) {
        Resume();
        return;
    }
    if (audio_.IsRunning() && State() == PlayState::Playing) return;
    playlistEnded_ = false;
    state_.state = PlayState::Playing;
    AudioSettings settings;
    settings.realtime = options_.realtime;
    settings.loop = options_.loop;
    settings.verify = options_.verify;
    if (!audio_.Start(Position(), settings)) state_.state = PlayState::Stopped;
}

void Player::Pause() {
    PlayState playing = PlayState::Playing;
    if (state_.state.compare_exchange_strong(playing, PlayState::Paused)) audio_.SetPaused(true);
}

void Player::Resume() {
    PlayState paused = PlayState::Paused;
    if (state_.state.compare_exchange_strong(paused, PlayState::Playing)) audio_.SetPaused(false);
}

void Player::Stop() {
    audio_.Stop();
    state_.state = PlayState::Stopped;
}

void Player::Next() {
    if (audio_.IsRunning() && State() != PlayState::Stopped) {
        audio_.Next();
        return;
    }
    if (playlist_.Size() > 0) state_.position = (Position() + 1) % playlist_.Size();
}

void Player::SetPosition(int index) {
    if (State() == PlayState::Stopped && playlist_.At(index) != nullptr) state_.position = index;
}

PumpResult Player::PumpUntilPlaylistEnds(DWORD timeoutMs) {
    return PumpUntil([this] { return playlistEnded_; }, timeoutMs);
}

LRESULT Player::OnPlayerRequest(WPARAM wParam, LPARAM lParam) { return answers_.Answer(wParam, lParam); }

LRESULT Player::StandardAnswer(WPARAM wParam, LPARAM lParam) {
    switch (lParam) {
    case kRequestIsPlaying:
        return LRESULT(State());
    case kRequestPlaylistPosition:
        return Position();
    case kRequestPlaylistTitle: {
        const PlaylistEntry* entry = playlist_.At(int(wParam));
        if (nullTitles_ || entry == nullptr) return 0;
        return reinterpret_cast<LRESULT>(entry->title.c_str());
    }
    case kRequestPlaylistFile: {
        const PlaylistEntry* entry = playlist_.At(int(wParam));
        return entry == nullptr ? 0 : reinterpret_cast<LRESULT>(entry->path.c_str());
    }
    case kRequestTag:
        return AnswerTagRequest(wParam);
    case kRequestBasicInfo:
        return AnswerBasicInfoRequest(wParam);
    case kRequestSettingsFolder:
        // The player hands out its text even when its conversion left it empty.
        return settingsFolder_.empty() ? 0 : reinterpret_cast<LRESULT>(ansiSettingsFolder_.c_str());
    case kRequestSettingsFolderW:
        if (options_.version < kFirstWideSettingsFolderPlayer) return 1;  // a request it does not know
        return settingsFolder_.empty() ? 0 : reinterpret_cast<LRESULT>(settingsFolder_.c_str());
    case kRequestVersion:
        return LRESULT(options_.version);
    case kRequestPlaylistTitleW:
    case kRequestBasicInfoW:
    case kRequestTagW:
        return OnUnicodeRequest(wParam, lParam);
    default:
        return 0;  // includes our own 3003 and 13003 announcements
    }
}

bool Player::HasUnicode() const { return options_.version >= unsigned(kFirstUnicodePlayer); }

// A player before 5.3 does not know these, and answers 1 to a request it does not know.
LRESULT Player::OnUnicodeRequest(WPARAM wParam, LPARAM lParam) {
    if (!HasUnicode()) return 1;
    switch (lParam) {
    case kRequestPlaylistTitleW: {
        const PlaylistEntry* entry = playlist_.At(int(wParam));
        if (nullTitles_ || entry == nullptr) return 0;
        return reinterpret_cast<LRESULT>(entry->wideTitle.c_str());
    }
    case kRequestBasicInfoW:
        return AnswerBasicInfoRequestW(wParam);
    default:
        return AnswerTagRequestW(wParam);
    }
}

void Player::OnTrackStarted(int index, LPARAM run) {
    const PlaylistEntry* entry = playlist_.At(index);
    if (entry == nullptr || run != audio_.Generation() || !audio_.IsRunning()) return;
    Log("track " + std::to_string(index + 1) + " started: " + entry->title);
    if (!HostAnnounces(options_.host)) {
        audio_.TrackAnnounced();
        return;
    }
    stats_.RecordTrackAnnounced();
    // The playlist outlives the window, so the path stays valid for a posted announcement too.
    const WPARAM path = reinterpret_cast<WPARAM>(announcedPaths_[size_t(index)].c_str());
    const WPARAM widePath = reinterpret_cast<WPARAM>(entry->widePath.c_str());
    if (options_.postNotify) {
        ::PostMessageA(Window(), kPlayerMessage, path, kNotifyPlayingFile);
        if (HasUnicode()) ::PostMessageA(Window(), kPlayerMessage, widePath, kNotifyPlayingFileW);
    } else if (HostAnnouncesWide(options_.host)) {
        ::SendMessageW(Window(), kPlayerMessage, path, kNotifyPlayingFile);
        if (HasUnicode()) ::SendMessageW(Window(), kPlayerMessage, widePath, kNotifyPlayingFileW);
    } else {
        ::SendMessageA(Window(), kPlayerMessage, path, kNotifyPlayingFile);
        if (HasUnicode()) ::SendMessageA(Window(), kPlayerMessage, widePath, kNotifyPlayingFileW);
    }
    audio_.TrackAnnounced();
}

void Player::OnPlaylistEnded(LPARAM run) {
    if (run != audio_.Generation()) return;
    playlistEnded_ = true;
    Log("playlist ended");
}

void Player::Log(const std::string& line) {
    if (log_) log_(line);
}

}  // namespace standin
