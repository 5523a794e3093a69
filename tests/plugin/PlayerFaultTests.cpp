// The player at its oddest during a broadcast: blocks in formats it should not send, a format
// change on every block, playing-file notifications without a path or a hundred a second,
// long and unterminated tags. The player gets every block back untouched and is never held
// up; the broadcast goes on, silently, and the stream, the titles and the play log say what
// could be known.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "peercast/PeerCastMetadata.h"
#include "plugin/BroadcastControl.h"
#include "plugin/CurrentFile.h"
#include "plugin/DspModule.h"
#include "plugin/Lifecycle.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/SongInfo.h"
#include "tests/common/Files.h"
#include "tests/common/MessagePump.h"
#include "tests/common/PlayerWindow.h"
#include "tests/common/StandInNode.h"
#include "tests/common/StreamListener.h"
#include "tests/plugin/BroadcastFixture.h"
#include "tests/plugin/MessageBoxWatcher.h"
#include "tests/plugin/ServedBroadcast.h"
#include "ui/MainWindow.h"
#include "ui/ResourceIds.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

using ::testing::Each;

constexpr char kCaption[] = "Ombrel DSP plugin v1.05";

struct Block {
    int frames, bits, channels, rate;
};

// Hands one block to the plug-in from a thread of its own, as the player's audio thread
// does; false when the plug-in did not hand it back whole and untouched.
bool HandOver(const Block& b, std::string* why) {
    const size_t bytes = static_cast<size_t>(std::max(b.frames, 1)) * 9 * 4;
    std::vector<unsigned char> samples(bytes);
    for (size_t i = 0; i < bytes; ++i) samples[i] = static_cast<unsigned char>(i * 29 + 7);
    const std::vector<unsigned char> original = samples;
    int result = -1;
    std::thread audio([&] {
        result = ModifySamples(&PluginModule(), reinterpret_cast<short*>(samples.data()), b.frames, b.bits,
                               b.channels, b.rate);
    });
    audio.join();
    if (result != b.frames) *why = "returned " + std::to_string(result);
    else if (samples != original) *why = "the samples were changed";
    else return true;
    return false;
}

class PlayerFaultsOnTheStream : public ServedBroadcast {
protected:
    // Ordinary blocks until the listener has received more data chunks than before.
    bool StreamFlows(StreamListener& listener, const std::string& what) {
        const int before = listener.DataChunks();
        std::string why;
        for (int i = 0; i < 200; ++i) {
            if (!HandOver({576, 16, 2, 44100}, &why)) ADD_FAILURE() << what << ": an ordinary block " << why;
            if (listener.DataChunks() > before + 2) return true;
        }
        return PumpUntil(3000, [&] { return listener.DataChunks() > before + 2; });
    }
};

TEST_F(PlayerFaultsOnTheStream, OddBlocksAreHandedBackAndTheStreamFlowsOn) {
    MessageBoxWatcher boxes(kCaption);
    StartBroadcast();
    ASSERT_EQ(1, IsBroadcasting());
    StreamListener listener(port_);
    ASSERT_TRUE(listener.Start());
    ASSERT_TRUE(PumpUntil(5000, [&] { return listener.HeaderChunkReceived(); })) << listener.StatusLine();
    ASSERT_TRUE(StreamFlows(listener, "before"));

    const struct {
        const char* what;
        std::vector<Block> blocks;
    } rows[] = {
        {"a sample rate of 0", {{576, 16, 2, 0}}},
        {"no channels", {{576, 16, 0, 44100}}},
        {"nine channels", {{576, 16, 9, 44100}, {576, 16, 9, 44100}}},
        {"24-bit blocks", {{576, 24, 2, 44100}, {441, 24, 1, 44100}}},
        {"32-bit blocks", {{576, 32, 2, 44100}, {441, 32, 1, 48000}}},
        {"blocks of no frames", {{0, 16, 2, 44100}, {0, 24, 9, 0}}},
        {"a negative frame count", {{-576, 16, 2, 44100}}},
        {"a format change on every block",
         {{576, 16, 2, 44100}, {576, 8, 1, 22050}, {300, 24, 2, 48000}, {576, 32, 1, 32000}, {1, 16, 6, 96000},
          {576, 8, 2, 8000}, {576, 16, 1, 11025}, {576, 24, 1, 44100}, {576, 32, 2, 44100}, {576, 16, 2, 48000}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        for (int round = 0; round < 20; ++round) {
            for (const Block& b : row.blocks) {
                std::string why;
                EXPECT_TRUE(HandOver(b, &why)) << b.frames << " frames, " << b.bits << " bits, " << b.channels
                                               << " channels, " << b.rate << " Hz: " << why;
            }
        }
        EXPECT_EQ(1, IsBroadcasting());
        EXPECT_NE(-1, listener.DataChunks()) << "the stream's framing broke";
        EXPECT_FALSE(listener.Closed());
        EXPECT_TRUE(StreamFlows(listener, row.what)) << "data chunks: " << listener.DataChunks();
    }
    EXPECT_TRUE(boxes.Seen().empty()) << boxes.Seen()[0].text;
    StopBroadcast();
    EXPECT_TRUE(PumpUntil(5000, [&] { return listener.Closed(); })) << "the stop ends the stream";
    EXPECT_NE(-1, listener.DataChunks());
}

class PlayerFaults : public BroadcastFixture {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        a_ = WriteTrack({"a.wav", "Artist A", "Title A", "Album A", "", 2});
        b_ = WriteTrack({"b.wav", "Artist B", "Title B", "Album B", "", 2});
        node_ = std::make_unique<StandInNode>(NodeBehaviour::AnswerAndClose);
        ASSERT_TRUE(node_->listening());
        StartPlayer({a_, b_});
        _settings.extra._fPlayLog = TRUE;
        _settings.peerCast._fEnable = TRUE;
        _settings.peerCast._dwPort = static_cast<DWORD>(node_->port());
        _settings.peerCast._cChannel = "ch";
    }
    void TearDown() override {
        player_.reset();
        node_.reset();
        BroadcastFixture::TearDown();
    }

    size_t LogLines() {
        const std::string log = ReadWholeFile(_settings.extra._cPlayLog);
        return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
    }
    std::vector<std::string> NodeRequests() {
        std::vector<std::string> requests;
        for (const NodeConnection& c : node_->Connections()) requests.push_back(c.request);
        return requests;
    }
    // The main window's script field, however long.
    std::string LongScriptField() {
        HWND field = ::GetDlgItem(MainWindowHandle(), IDC_SCRIPT_TEXT);
        std::string text(static_cast<size_t>(::GetWindowTextLengthA(field)) + 1, '\0');
        text.resize(static_cast<size_t>(::GetWindowTextA(field, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    std::string a_, b_;
    std::unique_ptr<StandInNode> node_;
};

// Without a path the announcement says only that a track starts: the log gets its line, the
// current file stays, its title goes out again, and PeerCast hears nothing new.
TEST_F(PlayerFaults, ANotificationWithoutAPathResendsTheCurrentTitle) {
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    Announce(a_);
    ASSERT_TRUE(WaitForTitles(encoder, 1));
    ASSERT_TRUE(node_->WaitForConnections(1, 5000));

    ::SendMessageA(player_->Window(), kPlayerMessage, 0, kNotifyPlayingFile);
    ASSERT_TRUE(WaitForTitles(encoder, 2));
    EXPECT_THAT(Titles(encoder), Each(std::string("WriteScript TEXT|Artist A - Title A")));
    EXPECT_EQ(a_, CurrentFile());
    EXPECT_EQ(2u, LogLines());
    Pump(500);
    EXPECT_EQ(1u, node_->Connections().size());
    EXPECT_EQ(1, IsBroadcasting());
}

// A hundred announcements a second for three seconds: each costs the player only the log line
// and a copy, every one is logged, and the worker, folding those that come while it works,
// ends on the last track with the stream, the window and PeerCast.
TEST_F(PlayerFaults, AHundredAnnouncementsASecondAreLoggedAndFollowedToTheLast) {
    MessageBoxWatcher boxes(kCaption);
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    const int count = 300;
    DWORD longest = 0;
    const DWORD start = ::GetTickCount();
    for (int i = 0; i < count; ++i) {
        const DWORD before = ::GetTickCount();
        Announce(i % 2 ? b_ : a_);
        longest = std::max(longest, ::GetTickCount() - before);
        const DWORD next = start + static_cast<DWORD>(i + 1) * 10;
        PumpUntil(1000, [&] { return static_cast<LONG>(::GetTickCount() - next) >= 0; });
    }
    const DWORD spent = ::GetTickCount() - start;
    const std::string last = "WriteScript TEXT|Artist B - Title B";
    ASSERT_TRUE(PumpUntil(15000, [&] {
        const std::vector<std::string> titles = Titles(encoder);
        return !titles.empty() && titles.back() == last && ScriptField() == "Artist B - Title B";
    })) << Titles(encoder).size() << " titles";
    const std::string lastRequest = ComposePeerCastRequest("ch", "Artist B", "Title B", "Album B");
    ASSERT_TRUE(PumpUntil(5000, [&] {
        const std::vector<std::string> requests = NodeRequests();
        return !requests.empty() && requests.back() == lastRequest;
    }));

    EXPECT_EQ(static_cast<size_t>(count), LogLines());
    const std::vector<std::string> titles = Titles(encoder);
    EXPECT_LE(titles.size(), static_cast<size_t>(count));
    for (const std::string& title : titles)
        EXPECT_TRUE(title == last || title == "WriteScript TEXT|Artist A - Title A") << title;
    EXPECT_EQ(last, titles.back());
    const std::vector<std::string> requests = NodeRequests();
    EXPECT_LE(requests.size(), titles.size());
    EXPECT_EQ(1, IsBroadcasting());
    EXPECT_TRUE(boxes.Seen().empty());
    StopBroadcast();

    RecordProperty("announcements", count);
    RecordProperty("announcing_ms", static_cast<int>(spent));
    RecordProperty("longest_announcement_ms", static_cast<int>(longest));
    RecordProperty("titles", static_cast<int>(titles.size()));
    RecordProperty("peercast_requests", static_cast<int>(requests.size()));
    std::printf("%d announcements in %lu ms, longest %lu ms; %u titles, %u PeerCast requests\n", count, spent,
                longest, static_cast<unsigned>(titles.size()), static_cast<unsigned>(requests.size()));
}

// Tags of the longest length the player's answer holds reach the stream, the main window and
// PeerCast whole.
TEST_F(PlayerFaults, TagsOf1023CharactersGoOutWhole) {
    const std::string artist(1023, 'a');
    const std::string title(1023, 't');
    const std::string album(1023, 'b');
    const std::string track = WriteTrack({"long.wav", artist, title, album, std::string(1023, 'c'), 1});
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    Announce(track);
    ASSERT_TRUE(WaitForTitles(encoder, 1));
    EXPECT_EQ("WriteScript TEXT|" + artist + " - " + title, Titles(encoder)[0]);
    EXPECT_TRUE(PumpUntil(3000, [&] { return LongScriptField() == artist + " - " + title; }))
        << LongScriptField().size() << " characters shown";
    ASSERT_TRUE(node_->WaitForConnections(1, 5000));
    EXPECT_EQ(ComposePeerCastRequest("ch", artist.c_str(), title.c_str(), album.c_str()), NodeRequests()[0]);
}

// A player window that fills the whole tag buffer and leaves no terminator.
LRESULT CALLBACK UnterminatedTagsHost(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kPlayerMessage && lParam == kRequestTag) {
        auto* record = reinterpret_cast<TagRequestRecord*>(wParam);
        std::memset(record->buffer, record->tagName[0], static_cast<size_t>(record->bufferSize));
        return 1;
    }
    if (msg == kPlayerMessage && lParam == kRequestBasicInfo) {
        reinterpret_cast<BasicInfoRecord*>(wParam)->length = 61;
        return 1;
    }
    if (msg == kPlayerMessage) return 0;
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST_F(PlayerFaults, UnterminatedTagsAreReadToTheBufferEndAndNoFurther) {
    win::UniqueWindow host = CreatePlayerWindow(UnterminatedTagsHost, "OmbrelUnterminatedTagsHost");
    ASSERT_TRUE(host);
    _settings.script._cFormat = "%ARTIST%|%TITLE%|%ALBUM%|%COMMENT%|%LENGTH%";
    _settings.extra._fPlayLog = FALSE;
    const HWND player = _hwndHost;
    _hwndHost = host.get();  // the worker asks this window
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    ::SendMessageA(host.get(), kPlayerMessage, reinterpret_cast<WPARAM>(a_.c_str()), kNotifyPlayingFile);
    const bool titled = WaitForTitles(encoder, 1);
    // The node's exchange before the stop, which would cancel an update still under way.
    const bool sent = PumpUntil(5000, [&] { return node_->Connections().size() >= 1; });
    StopBroadcast();
    _hwndHost = player;
    ASSERT_TRUE(titled);
    EXPECT_EQ("WriteScript TEXT|" + std::string(1024, 'A') + "|" + std::string(1024, 'T') + "|" +
                  std::string(1024, 'A') + "|" + std::string(1024, 'C') + "|1:01",
              Titles(encoder)[0]);
    ASSERT_TRUE(sent);
    EXPECT_EQ(ComposePeerCastRequest("ch", std::string(1024, 'A').c_str(), std::string(1024, 'T').c_str(),
                                     std::string(1024, 'A').c_str()),
              NodeRequests()[0]);
}

// A player that answers the title and fails the artist: the tags after the failing one are
// not asked for, and the song is not read.
std::vector<std::string> g_tagsAsked;
LRESULT CALLBACK FailingArtistHost(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kPlayerMessage && lParam == kRequestTag) {
        auto* record = reinterpret_cast<TagRequestRecord*>(wParam);
        g_tagsAsked.push_back(record->tagName);
        if (g_tagsAsked.back() != "TITLE") return 0;
        std::strcpy(record->buffer, "title");
        return 1;
    }
    if (msg == kPlayerMessage) return lParam == kRequestBasicInfo ? 1 : 0;
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

TEST(PlayerTags, ReadingStopsAtTheFirstTagThePlayerFails) {
    win::UniqueWindow host = CreatePlayerWindow(FailingArtistHost, "OmbrelFailingArtistHost");
    ASSERT_TRUE(host);
    g_tagsAsked.clear();
    SongInfo info;
    EXPECT_EQ(E_FAIL, ReadSongInfo(host.get(), "C:\\song.wav", &info));
    EXPECT_EQ(std::vector<std::string>({"TITLE", "ARTIST"}), g_tagsAsked);
    EXPECT_EQ("title", info.title);
    EXPECT_EQ("", info.artist);
}

}  // namespace
}  // namespace ombrel::test
