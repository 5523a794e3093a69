// Real-time playback control: states seen through request 104, pause, next, stop and the
// audio thread's end; and the plug-in's Init, Config and Quit on the main thread.
#include <windows.h>

#include <gtest/gtest.h>

#include "plugin/PlayerRequests.h"
#include "standin/player/Player.h"
#include "tests/standin/RecordingModule.h"
#include "tests/standin/TestFiles.h"

using namespace standin;

namespace ombrel::test {
namespace {

constexpr DWORD kGenerousMs = 30000;

LRESULT AskState(const Player& player) {
    return ::SendMessageA(player.Window(), kPlayerMessage, 0, kRequestIsPlaying);
}

bool ThreadHasEnded(DWORD id) {
    win::UniqueHandle thread(::OpenThread(SYNCHRONIZE, FALSE, id));
    return !thread || ::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
}

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.IsValid());
        first_ = folder_.File("first.wav");
        second_ = folder_.File("second.wav");
        // Ten seconds each, so real-time playback is still busy while the test acts.
        ASSERT_TRUE(WriteWavFile(first_, ToneContents({8000, 1, 16}, 80000)));
        ASSERT_TRUE(WriteWavFile(second_, ToneContents({11025, 1, 8}, 110250)));
        PlayerOptions options;
        options.files = {first_, second_};
        player_ = std::make_unique<Player>(options);
        std::string error;
        ASSERT_TRUE(player_->AttachModule(module_.Module(), &error)) << error;
    }

    bool PumpUntilCalls(size_t n) {
        return PumpUntil([&] { return module_.CallCount() >= n; }, kGenerousMs) ==
               PumpResult::Done;
    }

    TempFolder folder_{"ombrel-control-test"};
    std::string first_, second_;
    RecordingModule module_;
    std::unique_ptr<Player> player_;
};

TEST_F(ControlTest, PauseHoldsBlocksBackAndResumeContinues) {
    player_->Play();
    EXPECT_EQ(AskState(*player_), 1);
    ASSERT_TRUE(PumpUntilCalls(2)) << module_.CallCount();

    player_->Pause();
    EXPECT_EQ(AskState(*player_), 3);
    PumpFor(100);  // a block already on its way may still arrive
    const size_t atPause = module_.CallCount();
    PumpFor(400);
    EXPECT_EQ(module_.CallCount(), atPause) << "blocks arrived while paused";
    EXPECT_EQ(AskState(*player_), 3);

    player_->Resume();
    EXPECT_EQ(AskState(*player_), 1);
    EXPECT_TRUE(PumpUntilCalls(atPause + 2)) << module_.CallCount();
}

TEST_F(ControlTest, PlayWhilePausedResumes) {
    player_->Play();
    ASSERT_TRUE(PumpUntilCalls(1));
    player_->Pause();
    player_->Play();
    EXPECT_EQ(AskState(*player_), 1);
    const size_t now = module_.CallCount();
    EXPECT_TRUE(PumpUntilCalls(now + 2)) << module_.CallCount();
}

TEST_F(ControlTest, NextMovesToTheNextTrack) {
    player_->Play();
    ASSERT_TRUE(PumpUntilCalls(1));
    EXPECT_EQ(::SendMessageA(player_->Window(), kPlayerMessage, 0, kRequestPlaylistPosition), 0);
    player_->Next();
    ASSERT_EQ(PumpUntil([&] { return module_.Calls().back().rate == 11025; }, kGenerousMs),
              PumpResult::Done);
    EXPECT_EQ(::SendMessageA(player_->Window(), kPlayerMessage, 0, kRequestPlaylistPosition), 1);
    EXPECT_LT(module_.CallCount(), 80000u / 576) << "the first track played to its end";
    EXPECT_EQ(AskState(*player_), 1);
}

TEST_F(ControlTest, NextOnTheLastTrackEndsTheList) {
    player_->SetPosition(1);
    player_->Play();
    ASSERT_TRUE(PumpUntilCalls(1));
    player_->Next();
    EXPECT_EQ(player_->PumpUntilPlaylistEnds(kGenerousMs), PumpResult::Done);
    EXPECT_EQ(AskState(*player_), 0);
}

TEST_F(ControlTest, StopJoinsTheAudioThread) {
    const long threadsBefore = win::UniqueThread::LiveCount();
    player_->Play();
    ASSERT_TRUE(PumpUntilCalls(1));
    const DWORD audio = module_.Calls().front().thread;
    EXPECT_EQ(audio, player_->AudioThreadId());
    EXPECT_FALSE(ThreadHasEnded(audio));

    player_->Stop();
    EXPECT_EQ(AskState(*player_), 0);
    EXPECT_FALSE(player_->AudioThreadRunning());
    EXPECT_TRUE(ThreadHasEnded(audio));
    EXPECT_EQ(win::UniqueThread::LiveCount(), threadsBefore);
    const size_t atStop = module_.CallCount();
    PumpFor(200);
    EXPECT_EQ(module_.CallCount(), atStop) << "blocks arrived after Stop";
}

TEST_F(ControlTest, StopWhilePausedJoins) {
    player_->Play();
    ASSERT_TRUE(PumpUntilCalls(1));
    player_->Pause();
    player_->Stop();
    EXPECT_FALSE(player_->AudioThreadRunning());
    EXPECT_EQ(AskState(*player_), 0);
    player_->Play();  // and playing again starts afresh, not paused
    EXPECT_EQ(AskState(*player_), 1);
    const size_t now = module_.CallCount();
    EXPECT_TRUE(PumpUntilCalls(now + 2));
}

TEST_F(ControlTest, RealTimePaceNeverRunsAheadOfTheClock) {
    const DWORD start = ::GetTickCount();
    player_->Play();
    PumpFor(300);
    const DWORD elapsed = ::GetTickCount() - start;
    const StatisticsSnapshot stats = player_->Stats();
    // Block n is due at n * 576 / 8000 s; by elapsed ms at most one block may be early.
    EXPECT_LE(stats.frames, uint64_t(elapsed + 20) * 8 + 576)
        << stats.frames << " frames after " << elapsed << " ms";
    EXPECT_GT(stats.frames, 0u);
}

TEST_F(ControlTest, ModuleLifecycleRunsOnTheMainThread) {
    EXPECT_EQ(module_.initCalls, 1);
    EXPECT_EQ(module_.initThread, ::GetCurrentThreadId());
    EXPECT_EQ(module_.parentAtInit, player_->Window());
    EXPECT_EQ(module_.instanceAtInit, ::GetModuleHandleA(nullptr));
    player_->ConfigPlugin();
    EXPECT_EQ(module_.configCalls, 1);
    EXPECT_EQ(module_.configThread, ::GetCurrentThreadId());
    player_->Play();
    ASSERT_TRUE(PumpUntilCalls(1));
    player_.reset();  // stops, then Quit, then the window goes
    EXPECT_EQ(module_.quitCalls, 1);
    EXPECT_EQ(module_.quitThread, ::GetCurrentThreadId());
}

TEST_F(ControlTest, UnloadCallsQuitOnceAndPlaysOnAlone) {
    player_->UnloadPlugin();
    player_->UnloadPlugin();
    EXPECT_EQ(module_.quitCalls, 1);
    EXPECT_FALSE(player_->Plugin().IsLoaded());
    player_->Play();
    EXPECT_EQ(PumpUntil([&] { return player_->Stats().blocks >= 2; }, kGenerousMs),
              PumpResult::Done);
    EXPECT_EQ(module_.CallCount(), 0u);
}

TEST(DspHostLoad, FailuresSayWhy) {
    PlayerOptions options;
    Player player(options);
    struct Case {
        const char* path;
        const char* errorPart;
    } cases[] = {{"C:\\nowhere\\dsp_absent.dll", "cannot load"},
                 {"version.dll", "no winampDSPGetHeader2 export"}};
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(player.LoadPlugin(c.path, &error)) << c.path;
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.path << ": " << error;
        EXPECT_FALSE(player.Plugin().IsLoaded());
    }
}

TEST(DspHostLoad, FailedInitLeavesTheModuleUnused) {
    RecordingModule module(ModuleBehaviour::FailInit);
    {
        PlayerOptions options;
        Player player(options);
        std::string error;
        EXPECT_FALSE(player.AttachModule(module.Module(), &error));
        EXPECT_NE(error.find("Init answered 1"), std::string::npos) << error;
        EXPECT_FALSE(player.Plugin().IsLoaded());
    }
    EXPECT_EQ(module.initCalls, 1);
    EXPECT_EQ(module.quitCalls, 0);
}

}  // namespace
}  // namespace ombrel::test
