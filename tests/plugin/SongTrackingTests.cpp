// Song tracking inside the player stand-in: announcements seen by the hooks, the worker and
// the timer sending titles to a recording encoder and the main window, and a stand-in PeerCast
// node on loopback receiving the changes. Every case runs with a 2.95 player (ANSI text only)
// and a 5.666 one (tags in UTF-16 as well), which must give the same bytes for these titles.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "peercast/PeerCastMetadata.h"
#include "plugin/BroadcastControl.h"
#include "plugin/CurrentFile.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/SongTimer.h"
#include "plugin/SongWorker.h"
#include "plugin/UpdateSongInfo.h"
#include "standin/player/JapaneseTags.h"
#include "tests/common/ExpectedCodePage.h"
#include "tests/common/MessagePump.h"
#include "tests/common/StandInNode.h"
#include "tests/plugin/BroadcastFixture.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

using ::testing::ElementsAre;

constexpr char kChannel[] = "ombrel";

class SongTracking : public BroadcastFixture, public ::testing::WithParamInterface<unsigned> {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        // A case written with TEST_F has no version to take: it gets the default player.
        if (::testing::UnitTest::GetInstance()->current_test_info()->value_param()) playerVersion_ = GetParam();
        a_ = WriteTrack({"a.wav", "Artist A", "Title A", "Album A", "Comment A", 3});
        b_ = WriteTrack({"b.wav", "Artist B", "Title B", "Album B", "Comment B", 2});
        long_ = WriteTrack({"long.wav", "Long Artist", "Long Title", "Long Album", "", 60, true});
        node_ = std::make_unique<StandInNode>(NodeBehaviour::AnswerAndClose);
        ASSERT_TRUE(node_->listening());
        StartPlayer({long_});
        _settings.script._cFormat = "%ARTIST% - %TITLE% [%LENGTH%]";
        _settings.peerCast._fEnable = TRUE;
        _settings.peerCast._dwPort = static_cast<DWORD>(node_->port());
        _settings.peerCast._cChannel = kChannel;
    }
    void TearDown() override {
        player_.reset();
        node_.reset();
        BroadcastFixture::TearDown();
    }

    // Plays the long track; it is announced before any broadcast, so only _cCurrentFile learns of it.
    void PlayLongTrackWhileIdle() {
        ASSERT_EQ(0, IsBroadcasting());
        player_->Play();
        ASSERT_TRUE(PumpUntil(10000, [&] { return CurrentFile() == long_; })) << CurrentFile();
    }

    RecordingEncoder* Start() {
        StartBroadcast();
        EXPECT_EQ(1, IsBroadcasting());
        return encoders_->Last();
    }

    // The worker's text reaches the field through the window's own thread.
    bool WaitForScriptField(const std::string& text) {
        return PumpUntil(3000, [&] { return ScriptField() == text; });
    }

    size_t NodeRequests() { return node_->Connections().size(); }
    bool WaitForNodeRequests(size_t count, DWORD ms = 10000) {
        return PumpUntil(ms, [&] { return NodeRequests() >= count; });
    }
    std::vector<std::string> NodeRequestTexts() {
        std::vector<std::string> texts;
        for (const NodeConnection& c : node_->Connections()) texts.push_back(c.request);
        return texts;
    }

    std::string a_, b_, long_;
    std::unique_ptr<StandInNode> node_;
};

const std::string kSetmetaA = ComposePeerCastRequest(kChannel, "Artist A", "Title A", "Album A");
const std::string kSetmetaB = ComposePeerCastRequest(kChannel, "Artist B", "Title B", "Album B");
const std::string kSetmetaLong = ComposePeerCastRequest(kChannel, "Long Artist", "Long Title", "Long Album");

TEST_P(SongTracking, UpdatesFollowTheirFourCases) {
    PlayLongTrackWhileIdle();
    RecordingEncoder* encoder = Start();
    // The track playing at the start: its caption at once.
    ASSERT_TRUE(WaitForTitles(encoder, 1));

    // Worker, new file: tags, title, window text, PeerCast (after the start's own update).
    SetScriptField("before");
    Announce(a_);
    ASSERT_TRUE(WaitForTitles(encoder, 2));
    EXPECT_THAT(Titles(encoder), ElementsAre("WriteScript TEXT|Long Artist - Long Title [1:00]",
                                             "WriteScript TEXT|Artist A - Title A [0:03]"));
    EXPECT_TRUE(WaitForScriptField("Artist A - Title A [0:03]")) << ScriptField();
    ASSERT_TRUE(WaitForNodeRequests(2));
    EXPECT_THAT(NodeRequestTexts(), ElementsAre(kSetmetaLong, kSetmetaA));

    // Worker, same file again: title and window text, no PeerCast.
    SetScriptField("before");
    Announce(a_);
    ASSERT_TRUE(WaitForTitles(encoder, 3));
    EXPECT_TRUE(WaitForScriptField("Artist A - Title A [0:03]")) << ScriptField();

    // Timer at tick 0 with song detection on: the current file's title again.
    SetScriptField("before");
    SetSongTimerTick(0);
    OnTimer(nullptr, 0, 0, 0);
    EXPECT_EQ(4u, Titles(encoder).size());
    EXPECT_EQ("Artist A - Title A [0:03]", ScriptField());
    EXPECT_EQ(1u, SongTimerTick());

    // Timer at any other tick: an empty command only.
    SetScriptField("before");
    OnTimer(nullptr, 0, 0, 0);
    EXPECT_EQ(4u, Titles(encoder).size());
    EXPECT_EQ(1u, KeepAlives(encoder).size());
    EXPECT_EQ("before", ScriptField());
    EXPECT_EQ(2u, SongTimerTick());

    // The cycle: seven empty commands, then the title at the eighth tick.
    for (int i = 0; i < 6; ++i) OnTimer(nullptr, 0, 0, 0);
    EXPECT_EQ(0u, SongTimerTick());
    EXPECT_EQ(7u, KeepAlives(encoder).size());
    OnTimer(nullptr, 0, 0, 0);
    EXPECT_EQ(5u, Titles(encoder).size());

    Pump(300);
    EXPECT_EQ(2u, NodeRequests()) << "only the start and a change reach PeerCast";
}

TEST_P(SongTracking, WithSongDetectionOffTrackChangesAreNotFollowed) {
    PlayLongTrackWhileIdle();
    RecordingEncoder* encoder = Start();
    _fSongDetect = 0;
    Announce(a_);
    Pump(700);
    EXPECT_TRUE(Titles(encoder).empty());
    EXPECT_EQ(0u, NodeRequests());
    EXPECT_EQ(long_, CurrentFile());

    SetSongTimerTick(0);
    OnTimer(nullptr, 0, 0, 0);
    OnTimer(nullptr, 0, 0, 0);
    EXPECT_TRUE(Titles(encoder).empty());
    EXPECT_EQ(2u, KeepAlives(encoder).size());
}

TEST_P(SongTracking, WithPeerCastOffTrackChangesReachOnlyTheStream) {
    _settings.peerCast._fEnable = FALSE;
    RecordingEncoder* encoder = Start();
    Announce(a_);
    ASSERT_TRUE(WaitForTitles(encoder, 1));
    Announce(b_);
    ASSERT_TRUE(WaitForTitles(encoder, 2));
    Pump(500);
    EXPECT_EQ(0u, NodeRequests()) << "the node is listening, but PeerCast is off";
}

TEST_P(SongTracking, APausedPlayerGetsNothingAndTheTickStays) {
    PlayLongTrackWhileIdle();
    RecordingEncoder* encoder = Start();
    player_->Pause();
    SetSongTimerTick(3);
    for (int i = 0; i < 3; ++i) OnTimer(nullptr, 0, 0, 0);
    EXPECT_EQ(0, _fPlaying.load());
    EXPECT_EQ(3u, SongTimerTick());
    EXPECT_TRUE(encoder->CallsStartingWith("WriteScript").empty());

    player_->Resume();
    OnTimer(nullptr, 0, 0, 0);
    EXPECT_EQ(1, _fPlaying.load());
    EXPECT_EQ(4u, SongTimerTick());
    EXPECT_EQ(1u, KeepAlives(encoder).size());

    // Nor does the tick move while no broadcast runs; a start's first caption counts as the
    // cycle's title, so the next resend comes a whole cycle after it.
    StopBroadcast();
    OnTimer(nullptr, 0, 0, 0);
    EXPECT_EQ(4u, SongTimerTick());
    Start();
    OnTimer(nullptr, 0, 0, 0);
    EXPECT_EQ(2u, SongTimerTick());
}

TEST_P(SongTracking, TheSameFileTwiceSendsTheTitleTwiceAndPeerCastOnce) {
    RecordingEncoder* encoder = Start();
    Announce(b_);
    ASSERT_TRUE(WaitForTitles(encoder, 1));
    ASSERT_TRUE(WaitForNodeRequests(1));
    Announce(b_);
    ASSERT_TRUE(WaitForTitles(encoder, 2));
    Pump(500);
    EXPECT_THAT(Titles(encoder), ElementsAre("WriteScript TEXT|Artist B - Title B [0:02]",
                                             "WriteScript TEXT|Artist B - Title B [0:02]"));
    EXPECT_THAT(NodeRequestTexts(), ElementsAre(kSetmetaB));
}

TEST_P(SongTracking, EachStartTellsPeerCastOfTheTrackPlayingOnce) {
    RecordingEncoder* first = Start();
    Announce(a_);
    ASSERT_TRUE(WaitForTitles(first, 1));
    ASSERT_TRUE(WaitForNodeRequests(1));
    StopBroadcast();

    // The next start tells the node of A at once, without a caption; A announced again is no
    // change for PeerCast, but its title goes out as ever.
    RecordingEncoder* second = Start();
    ASSERT_NE(first, second);
    ASSERT_TRUE(WaitForNodeRequests(2));
    EXPECT_TRUE(Titles(second).empty());
    Announce(a_);
    ASSERT_TRUE(WaitForTitles(second, 1));
    Pump(500);
    EXPECT_THAT(NodeRequestTexts(), ElementsAre(kSetmetaA, kSetmetaA));
}

// The caption of the track playing at the start goes out as the broadcast comes up, not at the
// timer's next full cycle (up to 16 s later), and the timer's resend comes a cycle after it.
TEST_P(SongTracking, ABroadcastStartedMidTrackSendsItsTitleAndTellsPeerCastAtOnce) {
    PlayLongTrackWhileIdle();
    SetSongTimerTick(5);
    RecordingEncoder* encoder = Start();
    ASSERT_TRUE(WaitForNodeRequests(1));
    EXPECT_THAT(NodeRequestTexts(), ElementsAre(kSetmetaLong));
    EXPECT_THAT(Titles(encoder), ElementsAre("WriteScript TEXT|Long Artist - Long Title [1:00]"));
    EXPECT_EQ(1u, SongTimerTick());

    Announce(b_);
    ASSERT_TRUE(WaitForNodeRequests(2));
    EXPECT_EQ(NodeRequestTexts()[1], kSetmetaB);
}

// A node like peercast-yt refuses setmeta: the start and each change reach its channel through
// JSON-RPC, setmeta tried only once a broadcast, and the channel's own info kept.
TEST_P(SongTracking, AJsonRpcNodeShowsTheTrackFromTheStartAndAtEachChange) {
    StandInNode node(NodeBehaviour::JsonRpc);
    node.AddChannel("other");
    node.AddChannel(kChannel);
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    PlayLongTrackWhileIdle();
    Start();
    // The worker reads the tags from the player's window, which only a pumping wait answers.
    ASSERT_TRUE(PumpUntil(10000, [&] { return node.Connections().size() >= 3; }));
    EXPECT_EQ(node.Channel(kChannel)["track"]["name"], "Long Title");
    Announce(b_);
    ASSERT_TRUE(PumpUntil(10000, [&] { return node.Connections().size() >= 5; }));
    StopBroadcast();
    const nlohmann::json channel = node.Channel(kChannel);
    EXPECT_EQ(channel["track"],
              nlohmann::json({{"name", "Title B"}, {"creator", "Artist B"}, {"album", "Album B"}, {"genre", ""},
                              {"url", ""}}));
    EXPECT_EQ(channel["info"]["bitrate"], 192);
    std::vector<std::string> starts;
    for (const NodeConnection& c : node.Connections()) starts.push_back(c.request.substr(0, 12));
    EXPECT_THAT(starts, ElementsAre("GET /admin?c", "POST /api/1 ", "POST /api/1 ", "POST /api/1 ", "POST /api/1 "));
    EXPECT_EQ(node.Channel("other")["track"]["name"], "");
}

// The usual order is to start the broadcast, then make the channel in the node: the track playing
// at the start was not taken, so announcing it again (here, once the channel exists) sends it.
TEST_P(SongTracking, ATrackTheNodeDidNotTakeIsSentAgainWhenAnnouncedAgain) {
    StandInNode node(NodeBehaviour::JsonRpc);
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    PlayLongTrackWhileIdle();
    Start();
    ASSERT_TRUE(PumpUntil(10000, [&] { return node.Connections().size() >= 2; }));  // setmeta, getChannels
    node.AddChannel(kChannel);
    Announce(long_);
    EXPECT_TRUE(PumpUntil(10000, [&] { return node.Channel(kChannel)["track"]["name"] == "Long Title"; }));
    // The node applies the track before it files the exchange that carried it: counted once it is filed.
    Pump(300);
    // Taken now: the same file again is no change.
    const size_t exchanges = node.Connections().size();
    Announce(long_);
    Pump(500);
    StopBroadcast();
    EXPECT_EQ(node.Connections().size(), exchanges);
}

TEST_P(SongTracking, WithTheScriptStreamOffTagsAreStillReadForPeerCast) {
    PlayLongTrackWhileIdle();
    _inputFormat.scriptEnabled = FALSE;
    RecordingEncoder* encoder = Start();
    SetScriptField("before");
    Announce(a_);
    ASSERT_TRUE(WaitForNodeRequests(2));
    EXPECT_THAT(NodeRequestTexts(), ElementsAre(kSetmetaLong, kSetmetaA));
    SetSongTimerTick(0);
    OnTimer(nullptr, 0, 0, 0);
    OnTimer(nullptr, 0, 0, 0);
    Pump(200);
    EXPECT_TRUE(encoder->CallsStartingWith("WriteScript").empty());
    EXPECT_EQ("before", ScriptField());
}

TEST_P(SongTracking, AFileWhoseTagsCannotBeReadSendsNothing) {
    RecordingEncoder* encoder = Start();
    Announce(folder_ + "\\missing.wav");
    Pump(1000);
    EXPECT_TRUE(Titles(encoder).empty());
    EXPECT_EQ(0u, NodeRequests());

    Announce(a_);
    ASSERT_TRUE(WaitForTitles(encoder, 1));
    ASSERT_TRUE(WaitForNodeRequests(1));
}

TEST_P(SongTracking, APostedAnnouncementIsSeenByTheGetMessageHook) {
    RecordingEncoder* encoder = Start();
    ::PostMessageA(player_->Window(), kPlayerMessage, reinterpret_cast<WPARAM>(a_.c_str()), kNotifyPlayingFile);
    ASSERT_TRUE(WaitForTitles(encoder, 1));
    EXPECT_EQ(a_, CurrentFile());
}

TEST_P(SongTracking, AnAnnouncementWithAnUnreadablePathIsIgnored) {
    RecordingEncoder* encoder = Start();
    Announce(a_);
    ASSERT_TRUE(WaitForTitles(encoder, 1));
    void* noAccess = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    ASSERT_NE(nullptr, noAccess);
    ::SendMessageA(player_->Window(), kPlayerMessage, reinterpret_cast<WPARAM>(noAccess), kNotifyPlayingFile);
    ::SendMessageA(player_->Window(), kPlayerMessage, 0x10, kNotifyPlayingFile);
    Pump(300);
    EXPECT_EQ(a_, CurrentFile());
    EXPECT_EQ(1u, Titles(encoder).size());
    ::VirtualFree(noAccess, 0, MEM_RELEASE);
}

// The worker is inside a request to the player's window (this thread) when the stop begins:
// the stop must answer it rather than wait for a worker that waits for the stop.
TEST_P(SongTracking, AStopDuringATrackChangeAnswersTheWorkerAndEnds) {
    Start();
    Announce(a_);
    // Seeing the send pending also marks it as seen, which a wait for new messages alone would
    // never wake for.
    const DWORD seenBy = ::GetTickCount() + 10000;
    while (!(HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && ::GetTickCount() < seenBy) ::Sleep(1);
    ASSERT_TRUE(HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) << "the worker never asked the player";

    // Should the stop hang, another thread's message wakes it and the test fails.
    std::atomic<bool> stopped{false};
    std::atomic<bool> rescued{false};
    HWND window = player_->Window();
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !stopped; ++i) ::Sleep(50);
        while (!stopped) {
            rescued = true;
            ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, nullptr);
        }
    });
    const DWORD start = ::GetTickCount();
    StopBroadcast();
    stopped = true;
    watchdog.join();
    RecordProperty("stop_ms", static_cast<int>(::GetTickCount() - start));
    EXPECT_FALSE(rescued.load()) << "the stop waited for a worker that waited for it";
    EXPECT_FALSE(SongWorkerRunning());
    EXPECT_EQ(0, IsBroadcasting());
}

TEST_P(SongTracking, OneWorkerAtATime) {
    EXPECT_EQ(E_FAIL, StopSongWorker());
    const long threads = win::UniqueThread::LiveCount();
    const long events = win::UniqueEvent::LiveCount();
    Start();
    EXPECT_EQ(E_FAIL, StartSongWorker(player_->Window()));
    EXPECT_EQ(threads + 1, win::UniqueThread::LiveCount());
    EXPECT_EQ(events + 1, win::UniqueEvent::LiveCount());
    StopBroadcast();
    EXPECT_EQ(E_FAIL, StopSongWorker());
    EXPECT_EQ(threads, win::UniqueThread::LiveCount());
    EXPECT_EQ(events, win::UniqueEvent::LiveCount());
}

TEST_P(SongTracking, WhileIdleAnAnnouncementOnlyUpdatesTheCurrentFile) {
    Announce(b_);
    Pump(300);
    EXPECT_EQ(b_, CurrentFile());
    EXPECT_EQ(0u, NodeRequests());
    EXPECT_EQ(S_OK, UpdateSongInfo(player_->Window(), true, false)) << "nothing to do while idle";
    EXPECT_EQ(0u, NodeRequests());
}

// The player converts the UTF-16 path of 3003 with WC_NO_BEST_FIT_CHARS: nothing under code page
// 65001, the 8.3 form where a name is outside the code page. Such a 3003 and its 13003 are one
// announcement: one caption each time the file is announced.
TEST_P(SongTracking, AnEmptyOrShortAnsiHalfPairsWithItsUtf16Announcement) {
    if (playerVersion_ < unsigned(kFirstUnicodePlayer)) GTEST_SKIP() << "announces in ANSI only";
    const std::string track = WriteTrack({"a long file name.wav", "Artist L", "Title L", "Album L", "", 2});
    const std::wstring wide(track.begin(), track.end());
    char shortPath[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameA(track.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(track, shortPath);
    RecordingEncoder* encoder = Start();
    for (const std::string ansi : {std::string(), std::string(shortPath)}) {
        ::SendMessageA(player_->Window(), kPlayerMessage, reinterpret_cast<WPARAM>(ansi.c_str()), kNotifyPlayingFile);
        ::SendMessageA(player_->Window(), kPlayerMessage, reinterpret_cast<WPARAM>(wide.c_str()), kNotifyPlayingFileW);
        Pump(1000);
    }
    EXPECT_THAT(Titles(encoder), ElementsAre("WriteScript TEXT|Artist L - Title L [0:02]",
                                             "WriteScript TEXT|Artist L - Title L [0:02]"));
}

// Under code page 932 the player's ANSI tags reach the stream as the right UTF-16 text.
class SongTrackingCodePage : public SongTracking {
protected:
    void SetUp() override {
        if (::GetACP() != 932) GTEST_SKIP() << "needs code page 932, the system has " << ::GetACP();
        SongTracking::SetUp();
    }
};

TEST_P(SongTrackingCodePage, AJapaneseTitleReachesTheStreamAsUtf16) {
    const std::string track = WriteTrack({"jp.wav", standin::JapaneseArtist(), standin::JapaneseTitle(),
                                          standin::JapaneseAlbum(), standin::JapaneseComment(), 2});
    RecordingEncoder* encoder = Start();
    Announce(track);
    ASSERT_TRUE(WaitForTitles(encoder, 1));
    EXPECT_THAT(Titles(encoder), ElementsAre("WriteScript TEXT|日本語のアーティスト - 桜 [0:02]"));
    EXPECT_TRUE(WaitForScriptField(std::string(standin::JapaneseArtist()) + " - " + standin::JapaneseTitle() + " [0:02]"));
}

// Windows 10 and later can run with UTF-8 (65001) as the system code page; the player's and the
// settings' text is then UTF-8, which no double-byte walk reads right.
class SongTrackingUtf8CodePage : public SongTracking {
protected:
    void SetUp() override {
        const UINT expected = ExpectedAnsiCodePage();
        if (expected != 0) {
            ASSERT_EQ(expected, ::GetACP()) << "OMBREL_EXPECT_ACP=" << expected;
        }
        if (::GetACP() != CP_UTF8) GTEST_SKIP() << "needs code page 65001, the system has " << ::GetACP();
        SongTracking::SetUp();
    }
};

// The node finds the Japanese channel by its name and takes the Japanese track whole.
TEST_P(SongTrackingUtf8CodePage, AJsonRpcNodeGetsTheJapaneseTitleIntact) {
    StandInNode node(NodeBehaviour::JsonRpc);
    const std::string channel = "配信チャンネル";
    node.AddChannel(channel);
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    _settings.peerCast._cChannel = channel;
    const std::string track = WriteTrack({"jp.wav", "日本語のアーティスト", "桜の歌", "春の歌", "", 2});
    RecordingEncoder* encoder = Start();
    Announce(track);
    ASSERT_TRUE(WaitForTitles(encoder, 1));
    ASSERT_TRUE(PumpUntil(10000, [&] { return node.Connections().size() >= 3; })) << node.Connections().size();
    EXPECT_THAT(Titles(encoder), ElementsAre("WriteScript TEXT|日本語のアーティスト - 桜の歌 [0:02]"));
    const nlohmann::json got = node.Channel(channel)["track"];
    EXPECT_EQ(got["name"], "桜の歌");
    EXPECT_EQ(got["creator"], "日本語のアーティスト");
    EXPECT_EQ(got["album"], "春の歌");
}

// What a player without UTF-16 requests hands over of text: the system code page's conversion.
std::string ThroughCodePage(const std::wstring& text) {
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(size_t(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &ansi[0], bytes, nullptr, nullptr);
    ansi.resize(size_t(bytes - 1));
    return ansi;
}

std::string Utf8(const std::wstring& text) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    utf8.resize(size_t(bytes - 1));
    return utf8;
}

std::string AnsiToUtf8Text(const std::string& ansi) {
    std::wstring wide(ansi.size() + 1, L'\0');
    wide.resize(size_t(::MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], int(wide.size())) - 1));
    return Utf8(wide);
}

// Titles outside code page 932, one of them in a file whose name is outside it too, announced
// as the player announces them: a 5.x player hands them over whole, so captions and the
// JSON-RPC node hold them exactly (once per announced file), while setmeta and the main window
// keep the code page's bytes; from a 2.95 player come what its ANSI text holds, and the file it
// cannot name sends nothing.
TEST_P(SongTrackingCodePage, TitlesOutsideTheCodePageReachCaptionsAndJsonRpcWhole) {
    StandInNode node(NodeBehaviour::JsonRpc);
    node.AddChannel(kChannel);
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    const std::wstring artist = L"Beyonc\u00e9", title = L"D\u00e9j\u00e0 Vu \u2013 \U0001F3B5";
    const std::wstring korean = L"\ubd04\ub0a0 \u8fd9\u9996\u6b4c \U00020BB7";
    const std::wstring accented = WriteUnicodeTrack(L"accented.wav", {"", Utf8(artist), Utf8(title), "Album", "", 2});
    const std::wstring named = WriteUnicodeTrack(korean + L".wav", {"", "Artist K", Utf8(korean), "Album K", "", 2});
    const bool unicode = GetParam() >= 0x5030;
    RecordingEncoder* encoder = Start();

    AnnounceW(accented);
    ASSERT_TRUE(WaitForTitles(encoder, 1));
    ASSERT_TRUE(PumpUntil(10000, [&] { return node.Connections().size() >= 3; }));
    const std::string ansiArtist = ThroughCodePage(artist), ansiTitle = ThroughCodePage(title);
    const std::string caption = unicode ? Utf8(artist + L" - " + title + L" [0:02]")
                                        : AnsiToUtf8Text(ansiArtist + " - " + ansiTitle + " [0:02]");
    EXPECT_THAT(Titles(encoder), ElementsAre("WriteScript TEXT|" + caption));
    EXPECT_TRUE(WaitForScriptField(ansiArtist + " - " + ansiTitle + " [0:02]")) << ScriptField();
    EXPECT_EQ(node.Connections()[0].request, ComposePeerCastRequest(kChannel, ansiArtist.c_str(), ansiTitle.c_str(), "Album"));
    EXPECT_EQ(node.Channel(kChannel)["track"]["name"], unicode ? Utf8(title) : AnsiToUtf8Text(ansiTitle));
    EXPECT_EQ(node.Channel(kChannel)["track"]["creator"], unicode ? Utf8(artist) : AnsiToUtf8Text(ansiArtist));

    AnnounceW(named);
    Pump(unicode ? 0 : 1000);
    if (unicode) {
        ASSERT_TRUE(WaitForTitles(encoder, 2));
        ASSERT_TRUE(PumpUntil(10000, [&] { return node.Connections().size() >= 5; }));
        EXPECT_EQ(node.Channel(kChannel)["track"]["name"], Utf8(korean));
        EXPECT_EQ(Titles(encoder)[1], "WriteScript TEXT|Artist K - " + Utf8(korean) + " [0:02]");
    }
    Pump(300);
    EXPECT_EQ(unicode ? 2u : 1u, Titles(encoder).size()) << "one title per announced file";
    EXPECT_EQ(unicode ? 5u : 3u, node.Connections().size());
}

std::string PlayerName(const ::testing::TestParamInfo<unsigned>& info) {
    return info.param >= 0x5030 ? "Winamp5666" : "Winamp295";
}

INSTANTIATE_TEST_SUITE_P(Players, SongTracking,
                         ::testing::Values(standin::kPlayerVersion295, standin::kPlayerVersion5666), PlayerName);
INSTANTIATE_TEST_SUITE_P(Players, SongTrackingCodePage,
                         ::testing::Values(standin::kPlayerVersion295, standin::kPlayerVersion5666), PlayerName);
INSTANTIATE_TEST_SUITE_P(Players, SongTrackingUtf8CodePage,
                         ::testing::Values(standin::kPlayerVersion295, standin::kPlayerVersion5666), PlayerName);

}  // namespace
}  // namespace ombrel::test
