// The relay channel option through the plug-in: a start makes the channel with the stream's
// fields and the track playing, the stop ends it without waiting for the node (also when the
// player quits right after), a channel the broadcaster made is used and never ended, a node that
// is not there leaves the broadcast running without a word, and with the option off the node
// sees exactly what it always did.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "peercast/PeerCastMetadata.h"
#include "plugin/BroadcastControl.h"
#include "plugin/CurrentFile.h"
#include "plugin/RelayChannelControl.h"
#include "plugin/Settings.h"
#include "tests/common/Loopback.h"
#include "tests/common/MessagePump.h"
#include "tests/common/StandInNode.h"
#include "tests/common/Stopwatch.h"
#include "tests/plugin/BroadcastFixture.h"
#include "tests/plugin/MessageBoxWatcher.h"
#include "ui/MainWindow.h"
#include "ui/ResourceIds.h"

namespace ombrel::test {
namespace {

using nlohmann::json;

constexpr char kChannel[] = "Ombrel Radio";

class RelayBroadcast : public BroadcastFixture {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        a_ = WriteTrack({"a.wav", "Artist A", "Title A", "Album A", "", 1});
        StartPlayer({a_});
        PeerCastSettings& peerCast = _settings.peerCast;
        peerCast._fEnable = TRUE;
        peerCast._fRelayChannel = TRUE;
        peerCast._cChannel = kChannel;
        peerCast._cContact = "http://example.jp/thread";
        _settings.extra._dwPort = 8123;
        _settings.extra._cGenre = L"Jazz";
        _settings.extra._cDescription = L"\u591c\u306e\u653e\u9001";  // 夜の放送
        SetCurrentFile(a_);
        EncoderScript script;
        script.expectedBitrate = 201904;  // WMA v2 at 192 kbps and the title stream
        encoders_->SetScript(script);
    }

    std::vector<std::string> Methods(StandInNode& node) {
        std::vector<std::string> methods;
        for (const json& call : node.RpcCalls()) methods.push_back(call["method"]);
        return methods;
    }

    std::string a_;
};

TEST_F(RelayBroadcast, AStartMakesTheChannelWithTheTrackAndTheStopEndsIt) {
    StandInNode node(NodeBehaviour::JsonRpc);
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    MessageBoxWatcher boxes("Ombrel DSP plugin v1.05");
    StartBroadcast();
    ASSERT_TRUE(PumpUntil(10000, [&] { return node.Channel(kChannel)["track"]["name"] == "Title A"; }));
    const json made = node.Channel(kChannel);
    EXPECT_EQ(made["status"]["source"], "http://127.0.0.1:8123/");
    EXPECT_EQ(made["info"]["genre"], "Jazz");
    EXPECT_EQ(made["info"]["desc"], "\xE5\xA4\x9C\xE3\x81\xAE\xE6\x94\xBE\xE9\x80\x81");
    EXPECT_EQ(made["info"]["url"], "http://example.jp/thread");
    EXPECT_EQ(made["info"]["contentType"], "WMA");
    EXPECT_EQ(made["info"]["bitrate"], 202) << "the stream's total in kbps";
    EXPECT_EQ(made["track"]["creator"], "Artist A");
    EXPECT_EQ(CurrentRelayState(), RelayState::Relaying);

    Stopwatch stop;
    StopBroadcast();
    const DWORD stopMs = stop.ms();
    EXPECT_EQ(CurrentRelayState(), RelayState::Off);
    EXPECT_TRUE(PumpUntil(5000, [&] { return node.Channel(kChannel).is_null(); }));
    const DWORD endedMs = stop.ms();
    std::printf("stop idle after %lu ms, channel ended %lu ms after the stop\n", static_cast<unsigned long>(stopMs),
                static_cast<unsigned long>(endedMs));
    EXPECT_THAT(Methods(node), ::testing::ElementsAre("getChannels", "fetch", "getChannels", "setChannelInfo",
                                                      "stopChannel"));
    EXPECT_TRUE(boxes.Seen().empty());
}

TEST_F(RelayBroadcast, QuitRightAfterTheStopStillEndsTheChannel) {
    StandInNode node(NodeBehaviour::OldStyle);
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    StartBroadcast();
    ASSERT_TRUE(PumpUntil(10000, [&] { return !node.AdminChannels().empty() && node.AdminChannels()[0].title == "Title A"; }));
    StopBroadcast();
    Stopwatch quit;
    player_.reset();
    std::printf("Quit after the stop took %lu ms\n", static_cast<unsigned long>(quit.ms()));
    EXPECT_TRUE(node.AdminChannels().empty()) << "ended before Quit returned";
}

// A node that never answers the stop holds neither the stop nor Quit beyond its 2 s.
TEST_F(RelayBroadcast, ANodeThatNeverAnswersTheEndHoldsQuitAtMostTwoSeconds) {
    StandInNode node(NodeBehaviour::JsonRpcSilentStop);
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    StartBroadcast();
    ASSERT_TRUE(PumpUntil(10000, [&] { return node.Channel(kChannel)["track"]["name"] == "Title A"; }));
    Stopwatch stop;
    StopBroadcast();
    const DWORD stopMs = stop.ms();
    Stopwatch quit;
    player_.reset();
    const DWORD quitMs = quit.ms();
    std::printf("stop idle after %lu ms; Quit with the end unanswered took %lu ms\n",
                static_cast<unsigned long>(stopMs), static_cast<unsigned long>(quitMs));
    EXPECT_LT(quitMs, 5000u) << "Quit is bounded";
    EXPECT_EQ(Methods(node).back(), "stopChannel");
}

TEST_F(RelayBroadcast, AChannelTheBroadcasterMadeIsUsedAndNeverEnded) {
    StandInNode node(NodeBehaviour::JsonRpc);
    node.AddChannel(kChannel);
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    StartBroadcast();
    ASSERT_TRUE(PumpUntil(10000, [&] { return node.Channel(kChannel)["track"]["name"] == "Title A"; }));
    StopBroadcast();
    Pump(500);
    EXPECT_FALSE(node.Channel(kChannel).is_null());
    EXPECT_THAT(Methods(node), ::testing::ElementsAre("getChannels", "getChannels", "setChannelInfo"));
}

// A node that is not there, or answers garbage: the broadcast runs on, nothing is shown but the
// monitor's line, and the stop has nothing to end.
TEST_F(RelayBroadcast, ABadNodeLeavesTheBroadcastRunningWithoutAWord) {
    const struct {
        const char* what;
        bool listening;
        NodeBehaviour behaviour;
        RelayState state;
    } rows[] = {
        {"no node", false, NodeBehaviour::AnswerAndClose, RelayState::Unreachable},
        {"garbage", true, NodeBehaviour::JsonRpcGarbage, RelayState::Refused},
    };
    for (const auto& row : rows) {
        std::unique_ptr<StandInNode> node;
        if (row.listening) node = std::make_unique<StandInNode>(row.behaviour);
        _settings.peerCast._dwPort = static_cast<DWORD>(node ? node->port() : FreeLoopbackPort());
        MessageBoxWatcher boxes("Ombrel DSP plugin v1.05");
        StartBroadcast();
        EXPECT_TRUE(PumpUntil(10000, [&] { return CurrentRelayState() == row.state; })) << row.what;
        EXPECT_EQ(1, IsBroadcasting()) << row.what;
        StopBroadcast();
        EXPECT_TRUE(boxes.Seen().empty()) << row.what;
    }
}

// With the option off an old node gets the track by setmeta, byte for byte as before.
TEST_F(RelayBroadcast, WithTheOptionOffTheNodeSeesWhatItAlwaysDid) {
    _settings.peerCast._fRelayChannel = FALSE;
    StandInNode node(NodeBehaviour::OldStyle);
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    StartBroadcast();
    ASSERT_TRUE(PumpUntil(10000, [&] { return node.Connections().size() >= 1; }));
    Pump(300);
    StopBroadcast();
    Pump(300);
    node.Stop();
    ASSERT_EQ(node.Connections().size(), 1u);
    EXPECT_EQ(node.Connections()[0].request, ComposePeerCastRequest(kChannel, "Artist A", "Title A", "Album A"));
    EXPECT_EQ(CurrentRelayState(), RelayState::Off);
}

// The main window's monitor line in Japanese whatever the system's code page (CTest plugin under
// 1252, plugin_cp932 under 932), set once per change rather than at every refresh.
using RelayBroadcastCodePage = RelayBroadcast;

WNDPROC g_relayLineProc = nullptr;
int g_relayLineSets = 0;

LRESULT CALLBACK CountingRelayLine(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT) ++g_relayLineSets;
    return ::CallWindowProcW(g_relayLineProc, window, message, wParam, lParam);
}

TEST_F(RelayBroadcastCodePage, TheMonitorShowsTheChannelInJapaneseOnAnyCodePage) {
    auto monitorLine = [] {
        wchar_t text[128] = L"";
        ::GetDlgItemTextW(MainWindowHandle(), IDC_RELAY_STATE, text, 128);
        return std::wstring(text);
    };
    StandInNode node(NodeBehaviour::JsonRpc);
    _settings.peerCast._dwPort = static_cast<DWORD>(node.port());
    StartBroadcast();
    EXPECT_TRUE(PumpUntil(5000, [&] { return monitorLine() == L"PeerCast: \u4e2d\u7d99\u4e2d"; }))  // 中継中
        << "code page " << GetACP() << ", " << monitorLine().size() << " characters";
    HWND line = ::GetDlgItem(MainWindowHandle(), IDC_RELAY_STATE);
    g_relayLineSets = 0;
    g_relayLineProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(line, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingRelayLine)));
    Pump(1500);
    ::SetWindowLongPtrW(line, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_relayLineProc));
    EXPECT_EQ(g_relayLineSets, 0) << "an unchanged line is not set again at each refresh";
    StopBroadcast();
    EXPECT_TRUE(PumpUntil(2000, [&] { return monitorLine().empty(); }));
    _settings.peerCast._dwPort = static_cast<DWORD>(FreeLoopbackPort());
    StartBroadcast();
    // 接続できません
    EXPECT_TRUE(PumpUntil(5000, [&] { return monitorLine() == L"PeerCast: \u63a5\u7d9a\u3067\u304d\u307e\u305b\u3093"; }));
    StopBroadcast();
}

}  // namespace
}  // namespace ombrel::test
