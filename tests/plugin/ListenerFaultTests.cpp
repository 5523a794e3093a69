// Listeners that misbehave, against a real broadcast through the plug-in and the runtime
// stand-in: one past the listener limit, one that stops reading, one that sends garbage. The
// broadcast goes on without a word, the other listeners keep playing, and the main window's
// listener count shows only those who listen.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "plugin/BroadcastControl.h"
#include "plugin/DspModule.h"
#include "plugin/Lifecycle.h"
#include "plugin/Settings.h"
#include "tests/common/Loopback.h"
#include "tests/common/MessagePump.h"
#include "tests/common/PlayRequest.h"
#include "tests/common/StreamListener.h"
#include "tests/plugin/BroadcastFixture.h"
#include "tests/plugin/MessageBoxWatcher.h"
#include "tests/plugin/ServedBroadcast.h"
#include "ui/MainWindow.h"
#include "ui/ResourceIds.h"

namespace ombrel::test {
namespace {

constexpr char kCaption[] = "Ombrel DSP plugin v1.05";

// The player's audio thread: 576-frame blocks of 16-bit stereo, one every pauseMs.
class AudioFeeder {
public:
    explicit AudioFeeder(DWORD pauseMs) : pauseMs_(pauseMs) {
        thread_ = std::thread([this] { Run(); });
    }
    ~AudioFeeder() {
        stop_ = true;
        thread_.join();
    }
    long Blocks() const { return blocks_; }
    DWORD LongestMs() const { return longest_; }

private:
    void Run() {
        std::vector<short> block(576 * 2, 1000);
        while (!stop_) {
            const DWORD start = ::GetTickCount();
            ModifySamples(&PluginModule(), block.data(), 576, 16, 2, 44100);
            longest_ = std::max<DWORD>(longest_, ::GetTickCount() - start);
            ++blocks_;
            ::Sleep(pauseMs_);
        }
    }

    DWORD pauseMs_;
    std::atomic<bool> stop_{false};
    std::atomic<long> blocks_{0};
    std::atomic<DWORD> longest_{0};
    std::thread thread_;
};

class ListenerFaults : public ServedBroadcast {
protected:
    // The listener count as the main window's monitor shows it.
    std::string ShownListeners() {
        char text[32] = {};
        ::GetDlgItemTextA(MainWindowHandle(), IDC_CLIENT_COUNT, text, sizeof text);
        return text;
    }
    bool WaitForShownListeners(int count, DWORD ms = 5000) {
        return PumpUntil(ms, [&] { return ShownListeners() == std::to_string(count); });
    }
    // The listener receives data chunks beyond those it has.
    bool Plays(StreamListener& listener, DWORD ms = 5000) {
        const int before = listener.DataChunks();
        return PumpUntil(ms, [&] { return listener.DataChunks() > before + 2; });
    }
};

TEST_F(ListenerFaults, BeyondTheLimitAListenerIsRefusedAndTheOthersPlayOn) {
    _settings.extra._dwMaxClient = 2;
    MessageBoxWatcher boxes(kCaption);
    StartBroadcast();
    ASSERT_EQ(1, IsBroadcasting());
    AudioFeeder audio(10);
    StreamListener a(port_);
    StreamListener b(port_);
    ASSERT_TRUE(a.Start() && b.Start());
    ASSERT_TRUE(Plays(a) && Plays(b));
    EXPECT_TRUE(WaitForShownListeners(2)) << ShownListeners();

    const std::string refused = AskOnce(port_, kPlayRequest, 3000);
    EXPECT_EQ(0u, refused.rfind("HTTP/1.0 503", 0)) << refused.substr(0, 80);
    EXPECT_TRUE(Plays(a));
    EXPECT_TRUE(Plays(b));
    EXPECT_TRUE(WaitForShownListeners(2)) << ShownListeners();

    // A freed place is taken again.
    a.Stop();
    EXPECT_TRUE(WaitForShownListeners(1)) << ShownListeners();
    StreamListener c(port_);
    EXPECT_TRUE(c.Start() && Plays(c));
    EXPECT_TRUE(WaitForShownListeners(2)) << ShownListeners();
    EXPECT_TRUE(Plays(b));
    EXPECT_EQ(1, IsBroadcasting());
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(ListenerFaults, AListenerThatStopsReadingIsDroppedAndTheOthersPlayOn) {
    MessageBoxWatcher boxes(kCaption);
    StartBroadcast();
    ASSERT_EQ(1, IsBroadcasting());
    StreamListener stuck(port_, ListenMode::kNeverRead);
    StreamListener reading(port_);
    ASSERT_TRUE(stuck.Start() && reading.Start());
    long blocks = 0;
    DWORD longest = 0;
    DWORD droppedAfterMs = 0;
    {
        // About four times as fast as the music plays: the stuck one's queue fills in seconds.
        AudioFeeder audio(3);
        ASSERT_TRUE(WaitForShownListeners(2)) << ShownListeners();
        const DWORD start = ::GetTickCount();
        EXPECT_TRUE(WaitForShownListeners(1, 60000)) << "still shown: " << ShownListeners();
        droppedAfterMs = ::GetTickCount() - start;
        EXPECT_TRUE(Plays(reading)) << "the reading listener plays on";
        blocks = audio.Blocks();
        longest = audio.LongestMs();
    }
    EXPECT_FALSE(reading.Closed());
    EXPECT_NE(-1, reading.DataChunks()) << "its stream's framing broke";
    EXPECT_EQ(1, IsBroadcasting());
    EXPECT_TRUE(boxes.Seen().empty());
    // The audio thread was never held up by the listener that stopped reading.
    EXPECT_LT(longest, 2000u);
    RecordProperty("blocks_fed", static_cast<int>(blocks));
    RecordProperty("dropped_after_ms", static_cast<int>(droppedAfterMs));
    RecordProperty("longest_block_ms", static_cast<int>(longest));
    std::printf("dropped after %lu ms, %ld blocks fed, longest block %lu ms\n", droppedAfterMs, blocks, longest);
}

TEST_F(ListenerFaults, AListenerSendingGarbageIsAnsweredAndTheBroadcastGoesOn) {
    MessageBoxWatcher boxes(kCaption);
    StartBroadcast();
    ASSERT_EQ(1, IsBroadcasting());
    AudioFeeder audio(10);
    StreamListener good(port_);
    ASSERT_TRUE(good.Start() && Plays(good));
    ASSERT_TRUE(WaitForShownListeners(1)) << ShownListeners();

    std::mt19937 random(8);
    std::string binary(3000, '\0');
    for (char& byte : binary) byte = static_cast<char>(random() & 0xFF);
    const struct {
        const char* what;
        std::string request;
    } rows[] = {
        {"no method, path or version", "HELLO\r\n\r\n"},
        {"not GET", "POST / HTTP/1.0\r\n\r\n"},
        {"a header line without a name", "GET / HTTP/1.0\r\nno colon here\r\n\r\n"},
        {"a control character", "GET / HTTP/1.0\r\nPragma: x\x01y\r\n\r\n"},
        {"binary bytes", binary + "\r\n\r\n"},
        {"a head without an end, beyond any bound", "GET / HTTP/1.0\r\n" + std::string(70000, 'a')},
    };
    for (const auto& row : rows) {
        const std::string answer = AskOnce(port_, row.request, 5000);
        EXPECT_EQ(0u, answer.rfind("HTTP/1.0 400", 0)) << row.what << ": " << answer.substr(0, 80);
        EXPECT_TRUE(Plays(good)) << row.what;
    }
    EXPECT_TRUE(WaitForShownListeners(1)) << ShownListeners();
    EXPECT_EQ(1, IsBroadcasting());
    EXPECT_TRUE(boxes.Seen().empty());
}

}  // namespace
}  // namespace ombrel::test
