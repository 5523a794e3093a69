#include "tests/plugin/BroadcastFixture.h"

#include "plugin/BroadcastControl.h"
#include "plugin/CurrentFile.h"
#include "plugin/DspModule.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/SongTimer.h"
#include "standin/player/WavWriter.h"
#include "tests/common/Files.h"
#include "tests/common/MessagePump.h"
#include "ui/MainWindow.h"
#include "ui/ResourceIds.h"
#include "win/UniqueAny.h"

namespace ombrel::test {

void BroadcastFixture::SetUp() {
    wsaStarted_ = ::WSAStartup(MAKEWORD(1, 1), &wsa_) == 0;
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::string(temp) + "ombrel_bc_" + std::to_string(::GetCurrentProcessId()) + "_" + info->name();
    for (char& c : folder_)
        if (c == '/') c = '_';
    // Wine hands out the same process ids again after a server restart, so a folder left by an
    // earlier run of the same test would lend it an old play log.
    RemoveFolder(folder_);
    ::CreateDirectoryA(folder_.c_str(), nullptr);
    encoders_ = std::make_unique<RecordingEncoders>();
    iniPath_ = ExeFolder() + "\\dsp_ombrel.ini";
    ::DeleteFileA(iniPath_.c_str());
    SetSongTimerTick(0);
    // The path announced last outlives a test; a start would send its track to PeerCast.
    SetCurrentFile(std::string());
}

void BroadcastFixture::TearDown() {
    // Quit ends any broadcast before the recording encoders go.
    player_.reset();
    encoders_.reset();
    PluginModule().hwndParent = nullptr;
    PluginModule().hDllInstance = nullptr;
    RemoveFolder(folder_);
    ::DeleteFileA(iniPath_.c_str());
    _fSongDetect = 1;
    if (wsaStarted_) ::WSACleanup();
}

namespace {

standin::WavContents TrackContents(const TrackFile& track) {
    standin::WavContents contents;
    if (track.longLowRate) contents.format = standin::WavFormat{8000, 1, 8};
    contents.tags.artist = track.artist;
    contents.tags.title = track.title;
    contents.tags.album = track.album;
    contents.tags.comment = track.comment;
    const size_t bytes = size_t(contents.format.BlockAlign()) * contents.format.sampleRate * track.seconds;
    contents.pcm.assign(bytes, contents.format.bitsPerSample == 8 ? 0x80 : 0);
    return contents;
}

}  // namespace

std::string BroadcastFixture::WriteTrack(const TrackFile& track) {
    const std::string path = folder_ + "\\" + track.fileName;
    EXPECT_TRUE(standin::WriteWavFile(path, TrackContents(track))) << path;
    files_.push_back(path);
    return path;
}

std::wstring BroadcastFixture::WriteUnicodeTrack(const std::wstring& fileName, const TrackFile& utf8Tags) {
    standin::WavContents contents = TrackContents(utf8Tags);
    contents.tags.utf8 = true;
    std::wstring folder(folder_.size() + 1, L'\0');
    folder.resize(size_t(::MultiByteToWideChar(CP_ACP, 0, folder_.c_str(), -1, &folder[0], int(folder.size())) - 1));
    const std::wstring path = folder + L"\\" + fileName;
    EXPECT_TRUE(standin::WriteWavFile(path, contents));
    return path;
}

void BroadcastFixture::StartPlayer(const std::vector<std::string>& playlist, bool realtime, bool loop) {
    standin::PlayerOptions options;
    options.files = playlist;
    options.realtime = realtime;
    options.loop = loop;
    options.verify = true;
    options.version = playerVersion_;
    options.host = host_;
    player_ = std::make_unique<standin::Player>(options);
    std::string error;
    ASSERT_TRUE(player_->AttachModule(&PluginModule(), &error)) << error;
    // Init has given every setting its default; the tests' own follow.
    _inputFormat.scriptEnabled = TRUE;
    _settings.extra._fPlayLog = FALSE;
    _settings.extra._cPlayLog = folder_ + "\\play.log";
    _settings.peerCast._fEnable = FALSE;
}

void BroadcastFixture::Announce(const std::string& path) {
    ::SendMessageA(player_->Window(), kPlayerMessage, reinterpret_cast<WPARAM>(path.c_str()), kNotifyPlayingFile);
}

void BroadcastFixture::AnnounceW(const std::wstring& path) {
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(size_t(bytes > 0 ? bytes : 1), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &ansi[0], bytes, nullptr, nullptr);
    ::SendMessageA(player_->Window(), kPlayerMessage, reinterpret_cast<WPARAM>(ansi.c_str()), kNotifyPlayingFile);
    if (playerVersion_ < unsigned(kFirstUnicodePlayer)) return;
    ::SendMessageA(player_->Window(), kPlayerMessage, reinterpret_cast<WPARAM>(path.c_str()), kNotifyPlayingFileW);
}

bool BroadcastFixture::WaitForTitles(RecordingEncoder* encoder, size_t count, DWORD ms) {
    if (!encoder) return false;
    return PumpUntil(ms, [&] { return Titles(encoder).size() >= count; });
}

std::vector<std::string> BroadcastFixture::Titles(RecordingEncoder* encoder) {
    return encoder->CallsStartingWith("WriteScript TEXT|");
}

std::vector<std::string> BroadcastFixture::KeepAlives(RecordingEncoder* encoder) {
    std::vector<std::string> found;
    for (const std::string& call : encoder->CallsStartingWith("WriteScript "))
        if (call == "WriteScript |") found.push_back(call);
    return found;
}

std::string BroadcastFixture::ScriptField() {
    char text[1024] = {};
    ::GetDlgItemTextA(MainWindowHandle(), IDC_SCRIPT_TEXT, text, sizeof text);
    return text;
}

void BroadcastFixture::SetScriptField(const char* text) {
    ::SetDlgItemTextA(MainWindowHandle(), IDC_SCRIPT_TEXT, text);
}

}  // namespace ombrel::test
