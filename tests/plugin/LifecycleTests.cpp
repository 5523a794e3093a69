// Init and Quit of the plug-in against a real window standing for the player, on this thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

#include "plugin/BroadcastControl.h"
#include "plugin/DspModule.h"
#include "plugin/Lifecycle.h"
#include "plugin/PlayerHooks.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PluginState.h"
#include "plugin/Settings.h"
#include "plugin/SongTimer.h"
#include "tests/common/Files.h"
#include "tests/common/MessagePump.h"
#include "tests/common/ProcessThreads.h"
#include "ui/MeterThread.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

// What the fake player window answers to request 104.
LRESULT g_playState = 1;
int g_hostMessages = 0;

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kPlayerMessage && lParam == kRequestIsPlaying) return g_playState;
    if (msg == WM_APP) {
        ++g_hostMessages;
        return 7;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "OmbrelLifecycleHost";
        ::RegisterClassA(&wc);
        host_.reset(::CreateWindowA("OmbrelLifecycleHost", "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                    nullptr, nullptr, wc.hInstance, nullptr));
        ASSERT_TRUE(host_);
        g_playState = 1;
        g_hostMessages = 0;
        saved_ = PluginModule();
        PluginModule().hwndParent = host_.get();
        PluginModule().hDllInstance = ::GetModuleHandleA(nullptr);
        iniPath_ = PathBesidePlugin(kSettingsFileName);
        ::DeleteFileA(iniPath_.c_str());
    }
    void TearDown() override {
        ::DeleteFileA(iniPath_.c_str());
        PluginModule() = saved_;
    }

    win::UniqueWindow host_;
    DspModule saved_{};
    std::string iniPath_;
};

TEST_F(Lifecycle, InitStartsHooksTimerAndMeterThreadAndQuitEndsThemAll) {
    int threadsBefore = CountProcessThreads();
    long hooksBefore = win::UniqueHook::LiveCount();
    long timersBefore = win::UniqueThreadTimer::LiveCount();
    long threadHandlesBefore = win::UniqueThread::LiveCount();

    EXPECT_EQ(0, Init(&PluginModule()));
    EXPECT_TRUE(PlayerHooksInstalled());
    EXPECT_TRUE(SongTimerRunning());
    EXPECT_TRUE(MeterThreadRunning());
    EXPECT_EQ(1, _fMeterRun.load());
    EXPECT_EQ(hooksBefore + 2, win::UniqueHook::LiveCount());
    EXPECT_EQ(timersBefore + 1, win::UniqueThreadTimer::LiveCount());
    EXPECT_EQ(threadsBefore + 1, CountProcessThreads());

    Quit(&PluginModule());
    EXPECT_FALSE(PlayerHooksInstalled());
    EXPECT_FALSE(SongTimerRunning());
    EXPECT_FALSE(MeterThreadRunning());
    EXPECT_EQ(0, _fMeterRun.load());
    EXPECT_EQ(hooksBefore, win::UniqueHook::LiveCount());
    EXPECT_EQ(timersBefore, win::UniqueThreadTimer::LiveCount());
    EXPECT_EQ(threadHandlesBefore, win::UniqueThread::LiveCount());
    EXPECT_EQ(threadsBefore, CountProcessThreads());
}

TEST_F(Lifecycle, QuitSavesEveryKeyBesideThePlugin) {
    ASSERT_FALSE(FileExists(iniPath_)) << iniPath_;
    Init(&PluginModule());
    Quit(&PluginModule());
    std::string text = ReadWholeFile(iniPath_);
    int keys = 0;
    for (size_t at = text.find('='); at != std::string::npos; at = text.find('=', at + 1)) ++keys;
    EXPECT_EQ(32, keys) << text;
    EXPECT_NE(std::string::npos, text.find("[AudioCodec]")) << text;
    EXPECT_NE(std::string::npos, text.find("[Script]")) << text;
}

TEST_F(Lifecycle, InitSetsTheDefaultInputFormatAndSongDetection) {
    _inputFormat.sampleRate = 8000;
    _inputFormat.videoEnabled = TRUE;
    Init(&PluginModule());
    EXPECT_EQ(TRUE, _inputFormat.audioEnabled);
    EXPECT_EQ(44100, _inputFormat.sampleRate);
    EXPECT_EQ(2, _inputFormat.channels);
    EXPECT_EQ(16, _inputFormat.bitsPerSample);
    EXPECT_EQ(FALSE, _inputFormat.scriptEnabled);
    EXPECT_EQ(FALSE, _inputFormat.videoEnabled);
    EXPECT_EQ(1, _fSongDetect.load());
    EXPECT_EQ(0, _fBroadcasting.load());
    EXPECT_EQ(host_.get(), _hwndHost);
    Quit(&PluginModule());
}

TEST_F(Lifecycle, InitTakesOnlyTheAnswerOneAsPlaying) {
    const struct {
        LRESULT answer;
        LONG playing;
    } cases[] = {
        {1, 1},   // playing
        {3, 0},   // paused
        {0, 0},   // stopped
        {-1, 0},  // anything else
    };
    for (const auto& c : cases) {
        g_playState = c.answer;
        Init(&PluginModule());
        EXPECT_EQ(c.playing, _fPlaying.load()) << "answer " << c.answer;
        Quit(&PluginModule());
    }
}

TEST_F(Lifecycle, TimerRefreshesThePlayingFlagOnTheInitThread) {
    Init(&PluginModule());
    ASSERT_EQ(1, _fPlaying.load());
    g_playState = 3;
    EXPECT_TRUE(PumpUntil(6000, [] { return _fPlaying.load() == 0; }))
        << "the 2000 ms timer never asked the player again";
    g_playState = 1;
    EXPECT_TRUE(PumpUntil(6000, [] { return _fPlaying.load() == 1; }));
    Quit(&PluginModule());
}

TEST_F(Lifecycle, HooksPassTheplayersMessagesOn) {
    Init(&PluginModule());
    // Sent messages go through the call-window-procedure hook, posted ones through the
    // get-message hook; the player's window must still receive both.
    EXPECT_EQ(7, ::SendMessageA(host_.get(), WM_APP, 0, kNotifyPlayingFile));
    ::PostMessageA(host_.get(), WM_APP, 0, kNotifyPlayingFile);
    EXPECT_TRUE(PumpUntil(2000, [] { return g_hostMessages == 2; })) << g_hostMessages;
    Quit(&PluginModule());
}

TEST_F(Lifecycle, WithoutAPlayerWindowNoHookIsInstalledAndQuitStillSaves) {
    PluginModule().hwndParent = nullptr;
    long hooksBefore = win::UniqueHook::LiveCount();
    EXPECT_EQ(0, Init(&PluginModule()));
    EXPECT_FALSE(PlayerHooksInstalled());
    EXPECT_EQ(hooksBefore, win::UniqueHook::LiveCount());
    EXPECT_EQ(0, _fPlaying.load());
    Quit(&PluginModule());
    EXPECT_TRUE(FileExists(iniPath_));
}

TEST_F(Lifecycle, ComIsInitialisedFromInitToQuit) {
    ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) << "COM already on before the test";
    ::CoUninitialize();

    Init(&PluginModule());
    EXPECT_EQ(S_FALSE, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ::CoUninitialize();
    Quit(&PluginModule());

    EXPECT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ::CoUninitialize();
}

TEST_F(Lifecycle, QuitLeavesTheHostThreadsOwnComInitialisation) {
    // A player thread in the multithreaded apartment: Init's own initialisation fails, and
    // Quit must not take away the player's.
    ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    Init(&PluginModule());
    Quit(&PluginModule());
    EXPECT_EQ(S_FALSE, ::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) << "COM was uninitialised by Quit";
    ::CoUninitialize();
    ::CoUninitialize();
}

struct BlockCase {
    const char* what;
    int count;
    int bits;
    int channels;
    int rate;
    bool nullSamples;
};

class ModifySamplesBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ModifySamplesBlocks, ReturnsTheCountAndLeavesTheBlockUntouched) {
    const BlockCase& c = GetParam();
    std::vector<unsigned char> block(576 * 6 * 4);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 37 + 11);
    std::vector<unsigned char> copy = block;
    short* samples = c.nullSamples ? nullptr : reinterpret_cast<short*>(block.data());
    EXPECT_EQ(c.count, ModifySamples(&PluginModule(), samples, c.count, c.bits, c.channels, c.rate));
    EXPECT_TRUE(block == copy) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Lifecycle, ModifySamplesBlocks,
    ::testing::Values(BlockCase{"16-bit stereo", 576, 16, 2, 44100, false},
                      BlockCase{"8-bit mono", 576, 8, 1, 22050, false},
                      BlockCase{"24-bit stereo", 576, 24, 2, 48000, false},
                      BlockCase{"32-bit six channels", 576, 32, 6, 96000, false},
                      BlockCase{"short last block", 17, 16, 2, 44100, false},
                      BlockCase{"no frames", 0, 16, 2, 44100, false},
                      BlockCase{"negative count", -5, 16, 2, 44100, false},
                      BlockCase{"sample rate 0", 576, 16, 2, 0, false},
                      BlockCase{"no channels", 576, 16, 0, 44100, false},
                      BlockCase{"12-bit samples", 576, 12, 2, 44100, false},
                      BlockCase{"null samples", 576, 16, 2, 44100, true},
                      BlockCase{"count past 32-bit bytes", 0x7FFFFFFF, 32, 6, 44100, false}));

}  // namespace
}  // namespace ombrel::test
