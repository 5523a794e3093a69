// The plug-in in each kind of host the player stand-in plays (standin/player/HostProfile.h): its
// window, its threads, what it answers and whether it announces files. Each host plays three
// tracks while a broadcast runs: one caption and one play log line per track where the host gives
// titles, none where it gives none, the audio handed back untouched and the stop within bound.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "plugin/BroadcastControl.h"
#include "plugin/DspModule.h"
#include "plugin/PlayerAsk.h"
#include "plugin/PlaylistEntry.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "tests/common/MessagePump.h"
#include "tests/plugin/BroadcastFixture.h"
#include "ui/MainWindow.h"

namespace ombrel::test {
namespace {

using standin::HostKind;

class Hosts : public BroadcastFixture, public ::testing::WithParamInterface<HostKind> {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        host_ = GetParam();
        playerVersion_ = standin::HostVersion(host_, playerVersion_);
    }

    void StartHost(const std::vector<std::string>& playlist) {
        StartPlayer(playlist);
        _settings.script._cFormat = "%ARTIST% - %TITLE% [%LENGTH%]";
        _settings.extra._fPlayLog = TRUE;
    }

    // The lines of the play log, each "date time > title".
    std::vector<std::string> PlayLogTitles() {
        std::ifstream log(_settings.extra._cPlayLog, std::ios::binary);
        std::vector<std::string> titles;
        std::string line;
        while (std::getline(log, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const size_t mark = line.find(" > ");
            titles.push_back(mark == std::string::npos ? "?" + line : line.substr(mark + 3));
        }
        return titles;
    }

    // Times (GetTickCount) at which each track started and at which each caption arrived, until
    // the playlist has ended and ms more have gone by.
    void Follow(RecordingEncoder* encoder, DWORD limitMs, std::vector<DWORD>* starts, std::vector<DWORD>* captions) {
        int position = player_->Position();
        size_t titles = Titles(encoder).size();
        const DWORD began = ::GetTickCount();
        DWORD endedAt = 0;
        while (::GetTickCount() - began < limitMs && (!endedAt || ::GetTickCount() - endedAt < 2500)) {
            Pump(10);
            if (player_->Position() != position) {
                position = player_->Position();
                starts->push_back(::GetTickCount());
            }
            if (Titles(encoder).size() != titles) {
                titles = Titles(encoder).size();
                captions->push_back(::GetTickCount());
            }
            if (!endedAt && player_->PlaylistEnded()) endedAt = ::GetTickCount();
        }
    }
};

// What the caption of "Artist X - Title X" (2 s) is where the host gives tags, and where it gives
// only its playlist's title.
std::string Caption(HostKind host, char track) {
    const std::string name = std::string("Artist ") + track + " - Title " + track;
    const bool tags = host == HostKind::Winamp5 || host == HostKind::Winamp2;
    return "WriteScript TEXT|" + (tags ? name + " [0:02]" : name);
}

TEST_P(Hosts, EachTrackGetsOneCaptionAndOneLogLineWhereTheHostGivesTitles) {
    const HostKind host = GetParam();
    const std::string a = WriteTrack({"a.wav", "Artist A", "Title A", "Album", "", 2});
    const std::string b = WriteTrack({"b.wav", "Artist B", "Title B", "Album", "", 2});
    const std::string c = WriteTrack({"c.wav", "Artist C", "Title C", "Album", "", 2});
    StartHost({a, b, c});
    const HWND mainWindow = MainWindowHandle();
    ASSERT_TRUE(::IsWindow(mainWindow));
    player_->Play();
    Pump(300);
    StartBroadcast();
    ASSERT_EQ(1, IsBroadcasting());
    RecordingEncoder* encoder = encoders_->Last();
    const DWORD started = ::GetTickCount();
    std::vector<DWORD> starts{started};
    std::vector<DWORD> captions;
    Follow(encoder, 15000, &starts, &captions);
    const DWORD stopBegan = ::GetTickCount();
    StopBroadcast();
    const DWORD stopMs = ::GetTickCount() - stopBegan;

    const std::vector<std::string> titles = Titles(encoder);
    const std::vector<std::string> logged = PlayLogTitles();
    if (host == HostKind::Silent) {
        EXPECT_TRUE(titles.empty()) << titles.size();
        EXPECT_TRUE(logged.empty()) << logged.size();
    } else {
        EXPECT_EQ(std::vector<std::string>({Caption(host, 'A'), Caption(host, 'B'), Caption(host, 'C')}), titles);
        EXPECT_EQ(std::vector<std::string>({"Artist A - Title A", "Artist B - Title B", "Artist C - Title C"}),
                  logged);
    }
    std::string delays;
    for (size_t i = 0; i < starts.size() && i < captions.size(); ++i) {
        const DWORD delay = captions[i] - starts[i];
        delays += " " + std::to_string(delay);
        EXPECT_LT(delay, 2000u) << "track " << i + 1;
    }
    std::printf("[ figures  ] host %s: %zu captions, %zu log lines, caption after track start (ms):%s, stop %lu ms\n",
                standin::HostKindName(host), titles.size(), logged.size(), delays.c_str(), stopMs);
    EXPECT_LT(stopMs, 100u);
    const standin::StatisticsSnapshot stats = player_->Stats();
    EXPECT_EQ(0u, stats.modifiedBlocks);
    EXPECT_EQ(0u, stats.countMismatches);

    // Quit, on whichever thread the host calls it, removes the window that Init's thread made.
    player_.reset();
    EXPECT_FALSE(::IsWindow(mainWindow));
    EXPECT_EQ(nullptr, MainWindowHandle());
}

INSTANTIATE_TEST_SUITE_P(Kinds, Hosts,
                         ::testing::Values(HostKind::Winamp5, HostKind::Winamp2, HostKind::Lean, HostKind::Utf8,
                                           HostKind::Silent, HostKind::ForeignThread),
                         [](const ::testing::TestParamInfo<HostKind>& info) {
                             std::string name = standin::HostKindName(info.param);
                             for (char& ch : name)
                                 if (ch == '-') ch = '_';
                             return name;
                         });

class BlockedHost : public Hosts {};

// The host's window thread stops answering for 10 s in the middle of a track: the audio goes on,
// a stop takes under 100 ms, and the titles come back once the host answers again.
TEST_P(BlockedHost, DelaysTitlesOnly) {
    const std::string a = WriteTrack({"a.wav", "Artist A", "Title A", "Album", "", 2});
    const std::string b = WriteTrack({"b.wav", "Artist B", "Title B", "Album", "", 14});
    const std::string c = WriteTrack({"c.wav", "Artist C", "Title C", "Album", "", 2});
    StartHost({a, b, c});
    player_->Play();
    StartBroadcast();
    ASSERT_TRUE(PumpUntil(5000, [&] { return player_->Position() == 1; }));
    Pump(1000);
    const uint64_t framesBefore = player_->Stats().frames;
    ASSERT_TRUE(player_->Host().BlockWindowThread(10000));
    const DWORD blocked = ::GetTickCount();
    Pump(1000);
    const DWORD stopBegan = ::GetTickCount();
    StopBroadcast();
    const DWORD stopMs = ::GetTickCount() - stopBegan;
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    Pump(4000);
    const double heard = double(player_->Stats().frames - framesBefore) / 44100.0;
    const double passed = (::GetTickCount() - blocked) / 1000.0;
    std::vector<DWORD> starts, captions;
    Follow(encoder, 20000, &starts, &captions);
    const std::vector<std::string> titles = Titles(encoder);
    std::printf("[ figures  ] blocked host: stop %lu ms, %.2f s of audio in %.2f s of the block, captions after: %zu\n",
                stopMs, heard, passed, titles.size());
    EXPECT_LT(stopMs, 100u);
    EXPECT_GT(heard, passed - 0.5);
    ASSERT_FALSE(titles.empty());
    EXPECT_EQ(Caption(GetParam(), 'C'), titles.back());
    ASSERT_FALSE(starts.empty());
    ASSERT_FALSE(captions.empty());
    EXPECT_LT(captions.back() - starts.back(), 2000u);
    EXPECT_EQ(0u, player_->Stats().modifiedBlocks);
}

// The one kind whose window thread is neither Init's nor the audio's, and that gives titles.
INSTANTIATE_TEST_SUITE_P(Kinds, BlockedHost, ::testing::Values(HostKind::ForeignThread));

// A host that is not the real player gives its titles in UTF-8: the caption keeps every character,
// the play log gets what the code page makes of them.
TEST_F(BroadcastFixture, AUtf8HostsTitleReachesTheCaptionWhole) {
    host_ = HostKind::Utf8;
    const std::wstring track = WriteUnicodeTrack(L"u.wav", {"", "\xEC\x95\x84\xEC\x9D\xB4\xEC\x9C\xA0",
                                                           "\xE6\xA1\x9C \xF0\x9F\x8E\xB5", "", "", 3});
    standin::PlayerOptions options;
    options.wideFiles = {track};
    options.verify = true;
    options.host = host_;
    player_ = std::make_unique<standin::Player>(options);
    std::string error;
    ASSERT_TRUE(player_->AttachModule(&PluginModule(), &error)) << error;
    _inputFormat.scriptEnabled = TRUE;
    _settings.extra._fPlayLog = TRUE;
    _settings.extra._cPlayLog = folder_ + "\\play.log";
    player_->Play();
    Pump(300);
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    ASSERT_TRUE(WaitForTitles(encoder, 1, 3000));
    StopBroadcast();
    const std::string title = "\xEC\x95\x84\xEC\x9D\xB4\xEC\x9C\xA0 - \xE6\xA1\x9C \xF0\x9F\x8E\xB5";
    EXPECT_EQ("WriteScript TEXT|" + title, Titles(encoder).front());
    std::ifstream log(_settings.extra._cPlayLog, std::ios::binary);
    std::string line;
    std::getline(log, line);
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, title.c_str(), -1, nullptr, 0);
    std::wstring wide(size_t(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, title.c_str(), -1, &wide[0], units);
    char ansi[256] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
    EXPECT_EQ(std::string(" > ") + ansi + "\r", line.substr(line.find(" > ")));
}

// An answer is a pointer only from a window of this process and at or above 0x10000; request 0 is
// a version only where the real player's versions lie.
TEST(PlayerAnswers, PointersAndVersionsAreTakenOnlyWhereTheyCanBe) {
    standin::PlayerOptions options;
    standin::Player player(options);
    EXPECT_TRUE(IsPlayerPointer(player.Window(), 0x10000));
    EXPECT_FALSE(IsPlayerPointer(player.Window(), 1));
    EXPECT_FALSE(IsPlayerPointer(player.Window(), 0xFFFF));
    EXPECT_FALSE(IsPlayerPointer(::GetDesktopWindow(), 0x10000));
    EXPECT_FALSE(IsPlayerPointer(nullptr, 0x10000));
    EXPECT_EQ(0x5066, AskPlayerVersion(player.Window()));
    for (const HostKind kind : {HostKind::Lean, HostKind::Utf8, HostKind::Silent, HostKind::ForeignThread}) {
        options.host = kind;
        standin::Player host(options);
        EXPECT_EQ(kind == HostKind::ForeignThread ? 0x2901 : 0, AskPlayerVersion(host.PluginParent()))
            << standin::HostKindName(kind);
    }
    EXPECT_TRUE(LooksLikeUtf8("\xE6\xA1\x9C"));
    EXPECT_FALSE(LooksLikeUtf8("plain"));
    EXPECT_FALSE(LooksLikeUtf8("\x8D\xF7"));  // code page 932
    EXPECT_FALSE(LooksLikeUtf8("\xC0\xAF"));  // overlong
    EXPECT_FALSE(LooksLikeUtf8("\xED\xA0\x80"));  // surrogate
}

// A host that hands the plug-in no window of its own process (none, the desktop): it loads,
// opens its window and broadcasts, with no hooks and nothing read through a pointer.
TEST_F(BroadcastFixture, AnyParentWindowLoadsAndBroadcasts) {
    for (const HWND parent : {HWND(nullptr), ::GetDesktopWindow()}) {
        DspModule& module = PluginModule();
        module.hwndParent = parent;
        module.hDllInstance = ::GetModuleHandleA(nullptr);
        ASSERT_EQ(0, module.Init(&module));
        EXPECT_TRUE(::IsWindow(MainWindowHandle()));
        StartBroadcast();
        EXPECT_EQ(1, IsBroadcasting());
        Pump(1200);
        const DWORD began = ::GetTickCount();
        module.Quit(&module);
        EXPECT_LT(::GetTickCount() - began, 1000u);
        EXPECT_EQ(0, IsBroadcasting());
        EXPECT_EQ(nullptr, MainWindowHandle());
    }
}

}  // namespace
}  // namespace ombrel::test
