// The meter thread: it zeroes the peaks while the player is not playing, keeps them while it
// plays, ends when its flag clears, and its pace is measured.
#include <gtest/gtest.h>

#include <cstdio>

#include "MeterTestSupport.h"
#include "plugin/PluginState.h"
#include "ui/LevelMeter.h"
#include "ui/MeterThread.h"

namespace ombrel::test {
namespace {

// Waits for a condition without pumping: the meter thread needs no messages from this one.
template <typename Done>
bool WaitUntil(DWORD ms, Done done) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start >= ms) return false;
        ::Sleep(5);
    }
    return true;
}

class MeterThread : public ::testing::Test {
protected:
    void SetUp() override {
        _fPlaying = 1;
        _peakLevels.left = 1234;
        _peakLevels.right = 4321;
    }
    void TearDown() override {
        _fMeterRun = 0;
        if (thread_) {
            EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread_.get(), 10000));
        }
        thread_.reset();
        _fPlaying = 1;
    }

    void Start() {
        _fMeterRun = 1;
        thread_.reset(::CreateThread(nullptr, 0, MeterThreadProc, nullptr, 0, nullptr));
        ASSERT_TRUE(thread_);
    }

    win::UniqueThread thread_;
};

TEST_F(MeterThread, WhileNotPlayingThePeaksFallToZero) {
    _fPlaying = 0;
    Start();
    EXPECT_TRUE(WaitUntil(5000, [] { return _peakLevels.left == 0 && _peakLevels.right == 0; }));
}

TEST_F(MeterThread, WhilePlayingThePeaksStay) {
    const long before = MeterPassCount();
    Start();
    ASSERT_TRUE(WaitUntil(5000, [&] { return MeterPassCount() >= before + 3; }));
    EXPECT_EQ(1234, _peakLevels.left.load());
    EXPECT_EQ(4321, _peakLevels.right.load());
    // Playback stops: the next passes empty the bars.
    _fPlaying = 0;
    EXPECT_TRUE(WaitUntil(5000, [] { return _peakLevels.left == 0 && _peakLevels.right == 0; }));
}

TEST_F(MeterThread, EndsWithZeroOnceTheFlagClears) {
    Start();
    _fMeterRun = 0;
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread_.get(), 5000));
    DWORD code = 99;
    ASSERT_TRUE(::GetExitCodeThread(thread_.get(), &code));
    EXPECT_EQ(0u, code);
}

TEST_F(MeterThread, AClearFlagMakesNoPassAtAll) {
    _fPlaying = 0;
    const long before = MeterPassCount();
    _fMeterRun = 0;
    thread_.reset(::CreateThread(nullptr, 0, MeterThreadProc, nullptr, 0, nullptr));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread_.get(), 5000));
    EXPECT_EQ(before, MeterPassCount());
    EXPECT_EQ(1234, _peakLevels.left.load()) << "not even the not-playing reset ran";
}

TEST_F(MeterThread, StartAndJoin) {
    StartMeterThread();
    EXPECT_EQ(1, _fMeterRun.load());
    EXPECT_TRUE(MeterThreadRunning());
    const long before = MeterPassCount();
    ASSERT_TRUE(WaitUntil(5000, [&] { return MeterPassCount() > before; }));
    _fMeterRun = 0;
    JoinMeterThread();
    EXPECT_FALSE(MeterThreadRunning());
    const long after = MeterPassCount();
    ::Sleep(300);
    EXPECT_EQ(after, MeterPassCount()) << "no pass after the join";
}

// Measured, not asserted: passes in one second while playing (about 30) and while not (about 4).
TEST_F(MeterThread, PaceIsMeasured) {
    Start();
    ::Sleep(100);
    long before = MeterPassCount();
    ::Sleep(1000);
    const long playing = MeterPassCount() - before;
    _fPlaying = 0;
    ::Sleep(300);
    before = MeterPassCount();
    ::Sleep(1000);
    const long idle = MeterPassCount() - before;
    RecordProperty("passes_per_second_playing", static_cast<int>(playing));
    RecordProperty("passes_per_second_idle", static_cast<int>(idle));
    std::printf("meter passes per second: %ld playing, %ld not playing\n", playing, idle);
}

}  // namespace
}  // namespace ombrel::test
