// Broadcasts through the real live encoder and the runtime stand-in (wmvcore.dll beside this
// executable): a port that is taken, and many starts and stops while the player's audio
// thread feeds blocks as fast as it can and the song worker follows a fast playlist.
#include <gtest/gtest.h>

#include <winsock.h>

#include <algorithm>
#include <random>
#include <string>

#include "plugin/BroadcastControl.h"
#include "plugin/DspModule.h"
#include "plugin/Lifecycle.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/SongWorker.h"
#include "tests/common/Files.h"
#include "tests/common/Loopback.h"
#include "tests/common/MessagePump.h"
#include "tests/common/ProcessThreads.h"
#include "tests/common/StandInNode.h"
#include "tests/plugin/BroadcastFixture.h"
#include "tests/plugin/MessageBoxWatcher.h"
#include "win/UniqueAny.h"
#include "win/UniqueSocket.h"

namespace ombrel::test {
namespace {

constexpr char kCaption[] = "Ombrel DSP plugin v1.05";

// A listening socket on 127.0.0.1 at a port the system picks.
win::UniqueSocket ListenOnLoopback(int* port) {
    win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    if (!s || ::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s.get(), 1) != 0)
        return win::UniqueSocket();
    int length = sizeof address;
    ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length);
    *port = ::ntohs(address.sin_port);
    return s;
}

class RealBroadcast : public BroadcastFixture {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        encoders_.reset();  // the platform's encoder, over the runtime stand-in
    }
};

TEST_F(RealBroadcast, APortInUseShowsTheEncodersMessageAndTheNextStartWorks) {
    StartPlayer({});
    int port = 0;
    win::UniqueSocket taken = ListenOnLoopback(&port);
    ASSERT_TRUE(taken);
    _settings.extra._dwPort = static_cast<DWORD>(port);

    {
        MessageBoxWatcher boxes(kCaption);
        StartBroadcast();
        const std::vector<SeenMessageBox> seen = boxes.Seen();
        ASSERT_EQ(1u, seen.size());
        const std::string prefix = "Network sink failed to open port no " + std::to_string(port) + " (hr=0x";
        EXPECT_EQ(prefix, seen[0].text.substr(0, prefix.size())) << seen[0].text;
        EXPECT_EQ(prefix.size() + 8 + 3, seen[0].text.size()) << seen[0].text;
        EXPECT_EQ(").\n", seen[0].text.substr(seen[0].text.size() - 3)) << seen[0].text;
        EXPECT_FALSE(seen[0].owned);
        EXPECT_TRUE(seen[0].errorIcon);
    }
    EXPECT_EQ(0, IsBroadcasting());
    EXPECT_FALSE(SongWorkerRunning());
    LiveEncoder* lent = nullptr;
    EXPECT_EQ(E_FAIL, GetEncoder(&lent));

    taken.reset();
    MessageBoxWatcher none(kCaption);
    StartBroadcast();
    ASSERT_EQ(1, IsBroadcasting());
    std::vector<short> block(576 * 2, 0);
    for (int i = 0; i < 20; ++i) ModifySamples(&PluginModule(), block.data(), 576, 16, 2, 44100);
    EXPECT_TRUE(ConnectsOnLoopback(port)) << "the broadcast serves its port";
    StopBroadcast();
    EXPECT_FALSE(ConnectsOnLoopback(port)) << "the stop closed the port";
    EXPECT_TRUE(none.Seen().empty());
}

TEST_F(RealBroadcast, StartsAndStopsUnderAFullAudioThreadAndABusyWorker) {
    std::vector<std::string> playlist;
    for (int i = 0; i < 4; ++i) {
        const std::string n = std::to_string(i);
        playlist.push_back(WriteTrack({"t" + n + ".wav", "Artist " + n, "Title " + n, "Album " + n, "", 1}));
    }
    StandInNode node(NodeBehaviour::AnswerAndClose);
    ASSERT_TRUE(node.listening());
    StartPlayer(playlist, /*realtime=*/false, /*loop=*/true);
    int port = 0;
    { win::UniqueSocket probe = ListenOnLoopback(&port); }
    _settings.extra._dwPort = static_cast<DWORD>(port);
    _settings.extra._fPlayLog = TRUE;
    _settings.peerCast._fEnable = TRUE;
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    _settings.peerCast._cChannel = "stress";

    player_->Play();
    ASSERT_TRUE(PumpUntil(10000, [&] { return player_->Stats().blocks > 100; }));
    const long threadHandles = win::UniqueThread::LiveCount();
    const long events = win::UniqueEvent::LiveCount();
    int threadsAfterFirstCycles = 0;
    const uint64_t blocksBefore = player_->Stats().blocks;

    MessageBoxWatcher boxes(kCaption);
    std::mt19937 random(6);
    std::uniform_int_distribution<int> runMs(0, 150);
    DWORD longestStop = 0;
    const int cycles = 30;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        StartBroadcast();
        ASSERT_EQ(1, IsBroadcasting()) << "cycle " << cycle;
        const DWORD until = ::GetTickCount() + runMs(random);
        PumpUntil(1000, [&] { return ::GetTickCount() >= until; });
        const DWORD stopStart = ::GetTickCount();
        StopBroadcast();
        longestStop = std::max(longestStop, ::GetTickCount() - stopStart);
        ASSERT_EQ(0, IsBroadcasting());
        ASSERT_FALSE(SongWorkerRunning());
        if (cycle == 9) threadsAfterFirstCycles = CountProcessThreads();
    }
    // The audio thread never waited for the stops: it went on feeding the whole time.
    const uint64_t blocksFed = player_->Stats().blocks - blocksBefore;
    // Wine and the runtime keep a few pool threads of their own; a worker left behind by each
    // cycle would show as twenty more.
    const int threadGrowth = CountProcessThreads() - threadsAfterFirstCycles;
    player_->Stop();

    EXPECT_TRUE(boxes.Seen().empty()) << boxes.Seen()[0].text;
    EXPECT_EQ(threadHandles - 1, win::UniqueThread::LiveCount()) << "all but the player's audio thread";
    EXPECT_EQ(events, win::UniqueEvent::LiveCount());
    EXPECT_LT(threadGrowth, 5);
    const standin::StatisticsSnapshot stats = player_->Stats();
    EXPECT_EQ(0u, stats.countMismatches);
    EXPECT_EQ(0u, stats.modifiedBlocks);
    EXPECT_GT(blocksFed, 1000u);
    EXPECT_GT(node.Connections().size(), 0u) << "the worker followed the tracks";
    EXPECT_FALSE(ReadWholeFile(_settings.extra._cPlayLog).empty());

    RecordProperty("cycles", cycles);
    RecordProperty("longest_stop_ms", static_cast<int>(longestStop));
    RecordProperty("blocks_fed", static_cast<int>(blocksFed));
    RecordProperty("thread_growth", threadGrowth);
    RecordProperty("peercast_updates", static_cast<int>(node.Connections().size()));
    std::printf("%d cycles, longest stop %lu ms, %llu blocks fed, %u PeerCast updates\n", cycles, longestStop,
                static_cast<unsigned long long>(blocksFed), static_cast<unsigned>(node.Connections().size()));
}

}  // namespace
}  // namespace ombrel::test
