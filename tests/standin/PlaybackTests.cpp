// Playback through a recording DSP module: blocks, formats, announcements, control, threads.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/PlayerRequests.h"
#include "standin/player/Player.h"
#include "tests/standin/RecordingModule.h"
#include "tests/standin/TestFiles.h"

using namespace standin;

namespace ombrel::test {
namespace {

constexpr DWORD kGenerousMs = 60000;

struct TrackPlan {
    WavFormat format;
    uint32_t frames;
};

// 1828 = 3 * 576 + 100; 1152 = 2 * 576 exactly; 577 = 576 + 1; 10 < 576.
const TrackPlan kTracks[] = {{{8000, 2, 16}, 1828},
                             {{11025, 1, 8}, 1152},
                             {{48000, 6, 24}, 577},
                             {{22050, 1, 32}, 10}};

std::vector<BlockCall> ExpectedCalls(const std::vector<TrackPlan>& plan) {
    std::vector<BlockCall> calls;
    for (const TrackPlan& t : plan) {
        for (uint32_t done = 0; done < t.frames; done += 576) {
            const int count = int(std::min<uint32_t>(576, t.frames - done));
            calls.push_back({count, t.format.bitsPerSample, t.format.channels,
                             int(t.format.sampleRate), 0});
        }
    }
    return calls;
}

std::string Show(const BlockCall& c) {
    return std::to_string(c.count) + " frames " + std::to_string(c.rate) + " Hz " +
           std::to_string(c.bits) + "-bit " + std::to_string(c.channels) + " ch";
}

// Hooks are per thread and their procedures take no context, so the records are global.
struct SeenAnnouncement {
    std::string path;
    LRESULT positionThen;
};
std::vector<SeenAnnouncement> g_sent;
std::vector<SeenAnnouncement> g_posted;

SeenAnnouncement Record(HWND window, WPARAM path) {
    // Asking the player from inside the hook shows what the plug-in would see at that moment.
    return {reinterpret_cast<const char*>(path),
            ::SendMessageA(window, kPlayerMessage, 0, kRequestPlaylistPosition)};
}

LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* cwp = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && cwp->message == kPlayerMessage && cwp->lParam == kNotifyPlayingFile)
        g_sent.push_back(Record(cwp->hwnd, cwp->wParam));
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == kPlayerMessage &&
        msg->lParam == kNotifyPlayingFile)
        g_posted.push_back(Record(msg->hwnd, msg->wParam));
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.IsValid());
        g_sent.clear();
        g_posted.clear();
        for (size_t i = 0; i < sizeof(kTracks) / sizeof(kTracks[0]); ++i) {
            const std::string path = folder_.File("track" + std::to_string(i) + ".wav");
            ASSERT_TRUE(WriteWavFile(path, ToneContents(kTracks[i].format, kTracks[i].frames)));
            paths_.push_back(path);
        }
    }

    std::unique_ptr<Player> MakePlayer(PlayerOptions options, RecordingModule& module) {
        if (options.files.empty()) options.files = paths_;
        auto player = std::make_unique<Player>(options);
        std::string error;
        EXPECT_TRUE(player->AttachModule(module.Module(), &error)) << error;
        return player;
    }

    static PlayerOptions Fast() {
        PlayerOptions o;
        o.realtime = false;
        return o;
    }

    TempFolder folder_{"ombrel-playback-test"};
    std::vector<std::string> paths_;
};

TEST_F(PlaybackTest, BlocksAre576FramesInEachFilesOwnFormat) {
    RecordingModule module;
    auto player = MakePlayer(Fast(), module);
    player->Play();
    ASSERT_EQ(player->PumpUntilPlaylistEnds(kGenerousMs), PumpResult::Done);

    const std::vector<BlockCall> expected =
        ExpectedCalls(std::vector<TrackPlan>(std::begin(kTracks), std::end(kTracks)));
    const std::vector<BlockCall> calls = module.Calls();
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(Show(calls[i]), Show(expected[i])) << "block " << i;
    for (const BlockCall& c : calls) EXPECT_NE(c.thread, ::GetCurrentThreadId());

    const StatisticsSnapshot stats = player->Stats();
    EXPECT_EQ(stats.blocks, expected.size());
    EXPECT_EQ(stats.frames, 1828u + 1152 + 577 + 10);
    EXPECT_EQ(stats.For(kTracks[2].format).blocks, 2u);
    EXPECT_EQ(stats.For(kTracks[0].format).frames, 1828u);
    EXPECT_EQ(stats.tracksStarted, 4u);
    EXPECT_EQ(stats.tracksAnnounced, 4u);
    EXPECT_EQ(stats.countMismatches, 0u);
    EXPECT_EQ(player->State(), PlayState::Stopped);
}

TEST_F(PlaybackTest, SamplesArriveAsStoredInTheFile) {
    // A module that keeps a copy of every byte it is handed.
    struct Collect {
        static int __cdecl Modify(DspModule* m, short* s, int count, int bits, int ch, int) {
            auto* total = static_cast<std::vector<uint8_t>*>(m->userData);
            const auto* bytes = reinterpret_cast<const uint8_t*>(s);
            total->insert(total->end(), bytes, bytes + count * ch * bits / 8);
            return count;
        }
        static int __cdecl Init(DspModule*) { return 0; }
        static void __cdecl Quit(DspModule*) {}
    };
    std::vector<uint8_t> seen;
    DspModule module{};
    module.Init = &Collect::Init;
    module.ModifySamples = &Collect::Modify;
    module.Quit = &Collect::Quit;
    module.userData = &seen;
    PlayerOptions options = Fast();
    options.files = {paths_[0], paths_[1]};
    Player player(options);
    std::string error;
    ASSERT_TRUE(player.AttachModule(&module, &error)) << error;
    player.Play();
    ASSERT_EQ(player.PumpUntilPlaylistEnds(kGenerousMs), PumpResult::Done);

    std::vector<uint8_t> expected = SynthesizeSine(kTracks[0].format, 440.0, kTracks[0].frames);
    const std::vector<uint8_t> second = SynthesizeSine(kTracks[1].format, 440.0, kTracks[1].frames);
    expected.insert(expected.end(), second.begin(), second.end());
    ASSERT_EQ(seen.size(), expected.size());
    EXPECT_TRUE(seen == expected) << "the blocks differ from the files' sample bytes";
}

TEST_F(PlaybackTest, SentAnnouncementReachesACallWndProcHookAfterThePositionMoved) {
    RecordingModule module;
    auto player = MakePlayer(Fast(), module);
    win::UniqueHook hook(::SetWindowsHookExA(WH_CALLWNDPROC, &CallWndProcHook, nullptr,
                                             ::GetCurrentThreadId()));
    ASSERT_TRUE(hook);
    player->Play();
    ASSERT_EQ(player->PumpUntilPlaylistEnds(kGenerousMs), PumpResult::Done);
    hook.reset();

    ASSERT_EQ(g_sent.size(), paths_.size());
    for (size_t i = 0; i < g_sent.size(); ++i) {
        EXPECT_EQ(g_sent[i].path, paths_[i]) << "announcement " << i;
        EXPECT_EQ(g_sent[i].positionThen, LRESULT(i)) << "announcement " << i;
    }
}

TEST_F(PlaybackTest, PostedAnnouncementReachesAGetMessageHook) {
    RecordingModule module;
    PlayerOptions options = Fast();
    options.postNotify = true;
    auto player = MakePlayer(options, module);
    win::UniqueHook hook(::SetWindowsHookExA(WH_GETMESSAGE, &GetMessageHook, nullptr,
                                             ::GetCurrentThreadId()));
    ASSERT_TRUE(hook);
    player->Play();
    ASSERT_EQ(player->PumpUntilPlaylistEnds(kGenerousMs), PumpResult::Done);
    PumpFor(50);  // the last announcement was posted just before the end message
    hook.reset();

    ASSERT_EQ(g_posted.size(), paths_.size());
    for (size_t i = 0; i < g_posted.size(); ++i)
        EXPECT_EQ(g_posted[i].path, paths_[i]) << "announcement " << i;
    EXPECT_EQ(player->Stats().tracksAnnounced, paths_.size());
}

TEST_F(PlaybackTest, LoopStartsThePlaylistAgain) {
    RecordingModule module;
    PlayerOptions options = Fast();
    options.loop = true;
    auto player = MakePlayer(options, module);
    player->Play();
    EXPECT_EQ(PumpUntil([&] { return player->Stats().tracksStarted >= 9; }, kGenerousMs),
              PumpResult::Done)
        << "tracks started: " << player->Stats().tracksStarted;
    EXPECT_FALSE(player->PlaylistEnded());
    player->Stop();
    const std::vector<BlockCall> calls = module.Calls();
    const size_t perPass =
        ExpectedCalls(std::vector<TrackPlan>(std::begin(kTracks), std::end(kTracks))).size();
    ASSERT_GT(calls.size(), perPass);
    EXPECT_EQ(Show(calls[perPass]), Show(calls[0])) << "the second pass starts with track 1";
}

TEST_F(PlaybackTest, VerifyCountsModifiedBlocks) {
    RecordingModule module(ModuleBehaviour::InvertFirstByte);
    PlayerOptions options = Fast();
    options.verify = true;
    auto player = MakePlayer(options, module);
    player->Play();
    ASSERT_EQ(player->PumpUntilPlaylistEnds(kGenerousMs), PumpResult::Done);
    const StatisticsSnapshot stats = player->Stats();
    EXPECT_EQ(stats.modifiedBlocks, stats.blocks);
    EXPECT_EQ(stats.countMismatches, 0u);
}

TEST_F(PlaybackTest, UnmodifiedBlocksPassVerification) {
    RecordingModule module;
    PlayerOptions options = Fast();
    options.verify = true;
    auto player = MakePlayer(options, module);
    player->Play();
    ASSERT_EQ(player->PumpUntilPlaylistEnds(kGenerousMs), PumpResult::Done);
    EXPECT_EQ(player->Stats().modifiedBlocks, 0u);
    EXPECT_GT(player->Stats().blocks, 0u);
}

TEST_F(PlaybackTest, CountMismatchesAreCounted) {
    RecordingModule module(ModuleBehaviour::HalveCount);
    auto player = MakePlayer(Fast(), module);
    player->Play();
    ASSERT_EQ(player->PumpUntilPlaylistEnds(kGenerousMs), PumpResult::Done);
    const StatisticsSnapshot stats = player->Stats();
    EXPECT_EQ(stats.countMismatches, stats.blocks);
    EXPECT_GT(stats.blocks, 0u);
}

TEST_F(PlaybackTest, UnreadableFilesAreSkipped) {
    const std::string bad = folder_.File("bad.wav");
    ASSERT_TRUE(WriteBytesToFile(bad, std::vector<uint8_t>(64, 1)));
    RecordingModule module;
    PlayerOptions options = Fast();
    options.files = {bad, paths_[3], folder_.File("missing.wav")};
    auto player = MakePlayer(options, module);
    player->Play();
    ASSERT_EQ(player->PumpUntilPlaylistEnds(kGenerousMs), PumpResult::Done);
    const StatisticsSnapshot stats = player->Stats();
    EXPECT_EQ(stats.tracksSkipped, 2u);
    EXPECT_EQ(stats.tracksStarted, 1u);
    EXPECT_EQ(module.CallCount(), 1u);
}

}  // namespace
}  // namespace ombrel::test
