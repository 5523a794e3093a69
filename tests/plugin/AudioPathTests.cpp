// ModifySamples on a thread of its own, as the player's audio thread calls it: blocks to the
// encoder only while broadcasting, the input format followed, the meter fed, and a stop that
// waits for the block in progress but never makes the audio thread wait.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "plugin/BroadcastControl.h"
#include "plugin/DspModule.h"
#include "plugin/EncoderGate.h"
#include "plugin/Lifecycle.h"
#include "plugin/PluginState.h"
#include "tests/plugin/BroadcastFixture.h"
#include "ui/LevelMeter.h"
#include "ui/MeterThread.h"
#include "win/UniqueAny.h"

namespace ombrel::test {
namespace {

using ::testing::ElementsAre;

class AudioPath : public BroadcastFixture {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        StartPlayer({});
        // The meter thread empties the peaks while the player is not playing; without it the
        // peaks stay as the last block left them.
        _fMeterRun = 0;
        JoinMeterThread();
        block_.assign(576 * 2, 0);
    }

    // One block of 16-bit stereo frames with the given peaks, from a thread of its own.
    int Feed(int count, int bits, int channels, int rate, short left = 0, short right = 0) {
        if (block_.size() >= 2) {
            block_[0] = left;
            block_[1] = right;
        }
        int result = 0;
        std::thread audio([&] { result = ModifySamples(&PluginModule(), block_.data(), count, bits, channels, rate); });
        audio.join();
        return result;
    }

    std::vector<std::string> FormatAndAudioCalls(RecordingEncoder* encoder) {
        std::vector<std::string> calls;
        for (const std::string& call : encoder->Calls())
            if (call.rfind("ChangeInputFormat", 0) == 0 || call.rfind("WriteAudio", 0) == 0) calls.push_back(call);
        return calls;
    }

    std::vector<short> block_;
};

TEST_F(AudioPath, WhileIdleNoEncoderIsCalledButTheMeterIsFed) {
    _peakLevels.left = 0;
    _peakLevels.right = 0;
    EXPECT_EQ(576, Feed(576, 16, 2, 44100, 12000, -20000));
    EXPECT_EQ(12000, _peakLevels.left.load());
    EXPECT_EQ(20000, _peakLevels.right.load());
    EXPECT_EQ(0u, encoders_->Created());
}

TEST_F(AudioPath, AFormatChangeWhileIdleIsNotRecordedAndTheFirstBlockOfABroadcastChangesIt) {
    Feed(576, 16, 1, 48000);
    EXPECT_EQ(44100, _inputFormat.sampleRate);
    EXPECT_EQ(2, _inputFormat.channels);
    EXPECT_EQ(16, _inputFormat.bitsPerSample);

    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    ASSERT_NE(nullptr, encoder);
    EXPECT_EQ(1u, encoder->CallsStartingWith("Configure 44100/2/16").size());

    Feed(576, 16, 1, 48000);
    Feed(300, 16, 1, 48000);  // same format: no second change
    Feed(576, 8, 2, 22050);
    Feed(576, 8, 2, 22050);
    EXPECT_THAT(FormatAndAudioCalls(encoder),
                ElementsAre("ChangeInputFormat 48000/1/16", "WriteAudio 576", "WriteAudio 300",
                            "ChangeInputFormat 22050/2/8", "WriteAudio 576", "WriteAudio 576"));
    EXPECT_EQ(22050, _inputFormat.sampleRate);

    // The next broadcast starts from the format last seen.
    StopBroadcast();
    StartBroadcast();
    EXPECT_EQ(1u, encoders_->Last()->CallsStartingWith("Configure 22050/2/8").size());
}

TEST_F(AudioPath, BlocksThatCannotBeReadReachNeitherTheEncoderNorTheMeter) {
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    _peakLevels.left = 77;
    const struct {
        const char* what;
        int count, bits, channels, rate;
    } cases[] = {
        {"no frames", 0, 16, 2, 44100},
        {"negative count", -576, 16, 2, 44100},
        {"sample rate 0", 576, 16, 2, 0},
        {"no channels", 576, 16, 0, 44100},
        {"12-bit samples", 576, 12, 2, 44100},
        {"count past 32-bit bytes", 0x40000000, 32, 2, 44100},
    };
    for (const auto& c : cases) EXPECT_EQ(c.count, Feed(c.count, c.bits, c.channels, c.rate, 30000, 30000)) << c.what;
    EXPECT_EQ(0, ModifySamples(&PluginModule(), nullptr, 0, 16, 2, 44100));
    EXPECT_EQ(576, ModifySamples(&PluginModule(), nullptr, 576, 16, 2, 44100));
    EXPECT_TRUE(FormatAndAudioCalls(encoder).empty());
    EXPECT_EQ(77, _peakLevels.left.load());
}

TEST_F(AudioPath, AStopWaitsForTheBlockInProgressBeforeTheEncoderGoes) {
    StartBroadcast();
    RecordingEncoder* encoder = encoders_->Last();
    win::UniqueEvent entered(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    win::UniqueEvent proceed(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    encoder->audioEntered = entered.get();
    encoder->audioProceed = proceed.get();

    std::thread audio([&] { ModifySamples(&PluginModule(), block_.data(), 576, 16, 2, 44100); });
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(entered.get(), 5000));

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        StopBroadcast();
        stopped = true;
    });
    ::Sleep(300);
    EXPECT_FALSE(stopped.load()) << "the encoder went while a block was being written";
    EXPECT_EQ(0, IsBroadcasting()) << "the flag goes first";
    EXPECT_TRUE(encoder->CallsStartingWith("Stop").empty());
    EXPECT_EQ(1, BroadcastEncoderGate().Inside());

    ::SetEvent(proceed.get());
    audio.join();
    stopper.join();
    std::vector<std::string> calls = encoder->Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_THAT(std::vector<std::string>(calls.end() - 3, calls.end()), ElementsAre("WriteAudio 576", "Stop", "Release"));
    EXPECT_EQ(0, encoder->LateCalls());

    // After the stop a block reaches no encoder.
    encoder->audioEntered = nullptr;
    Feed(576, 16, 2, 44100);
    EXPECT_EQ(0, encoder->LateCalls());
    EXPECT_EQ(0, BroadcastEncoderGate().Inside());
}

TEST(EncoderGate, LendsOnlyWhileOpenAndCloseReturnsAtOnceWhenNobodyIsInside) {
    EncoderGate gate;
    EXPECT_EQ(nullptr, gate.Enter());
    gate.Leave();
    LiveEncoder* encoder = reinterpret_cast<LiveEncoder*>(0x1000);
    gate.Open(encoder);
    {
        EncoderGateUse use(gate);
        EXPECT_EQ(encoder, use.get());
        EXPECT_EQ(1, gate.Inside());
    }
    EXPECT_EQ(0, gate.Inside());
    const DWORD start = ::GetTickCount();
    gate.Close();
    EXPECT_LT(::GetTickCount() - start, 1000u);
    EncoderGateUse after(gate);
    EXPECT_EQ(nullptr, after.get());
}

// Many audio threads against open and close: whatever a caller got, it got while the gate was
// open, and no caller is inside once Close has returned.
TEST(EncoderGate, NoCallerIsInsideOnceCloseHasReturned) {
    EncoderGate gate;
    LiveEncoder* encoder = reinterpret_cast<LiveEncoder*>(0x1000);
    std::atomic<bool> open{false};
    std::atomic<bool> done{false};
    std::atomic<long> usedWhileClosed{0};
    std::atomic<long> uses{0};
    std::vector<std::thread> audio;
    for (int i = 0; i < 3; ++i) {
        audio.emplace_back([&] {
            while (!done) {
                EncoderGateUse use(gate);
                if (use.get()) {
                    ++uses;
                    if (!open) ++usedWhileClosed;
                }
            }
        });
    }
    for (int round = 0; round < 2000; ++round) {
        open = true;
        gate.Open(encoder);
        gate.Close();
        open = false;
        if (round % 100 == 0) ::Sleep(1);
    }
    done = true;
    for (std::thread& t : audio) t.join();
    EXPECT_EQ(0, usedWhileClosed.load());
    EXPECT_EQ(0, gate.Inside());
    RecordProperty("uses", static_cast<int>(uses.load()));
}

}  // namespace
}  // namespace ombrel::test
