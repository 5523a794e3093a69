// PeerCast nodes that misbehave, seen through the plug-in during a broadcast: one that refuses,
// one that never answers, ones that answer a byte at a time, one whose head never ends, one
// that closes early, one that never reads. The user sees nothing of it: each title reaches the
// stream at once, the next track change tries the node again, the song worker is held up by a
// node at most for its bound, and a stop meanwhile cancels the update instead of waiting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "peercast/PeerCastMetadata.h"
#include "plugin/BroadcastControl.h"
#include "plugin/CurrentFile.h"
#include "plugin/Settings.h"
#include "plugin/SongWorker.h"
#include "tests/common/Loopback.h"
#include "tests/common/MessagePump.h"
#include "tests/common/StandInNode.h"
#include "tests/plugin/BroadcastFixture.h"
#include "tests/plugin/MessageBoxWatcher.h"

namespace ombrel::test {
namespace {

constexpr char kCaption[] = "Ombrel DSP plugin v1.05";

class NodeFaults : public BroadcastFixture {
protected:
    void SetUp() override {
        BroadcastFixture::SetUp();
        a_ = WriteTrack({"a.wav", "Artist A", "Title A", "Album A", "", 1});
        b_ = WriteTrack({"b.wav", "Artist B", "Title B", "Album B", "", 1});
        StartPlayer({a_, b_});
        _settings.peerCast._fEnable = TRUE;
        _settings.peerCast._cChannel = "ch";
    }

    std::string a_, b_;
};

TEST_F(NodeFaults, ABadNodeIsNeverSeenAndOnlyDelaysTheNextTitleByItsBound) {
    const struct {
        const char* what;
        bool listening;  // false: nothing listens on the node's port
        NodeBehaviour behaviour;
    } rows[] = {
        {"a node that refuses", false, NodeBehaviour::AnswerAndClose},
        {"a node that never answers", true, NodeBehaviour::NeverAnswer},
        {"a node answering one byte per send", true, NodeBehaviour::OneBytePerChunk},
        {"a node answering one byte every 500 ms", true, NodeBehaviour::Drip},
        {"a node whose head never ends", true, NodeBehaviour::EndlessHead},
        {"a node that closes after its status line", true, NodeBehaviour::CloseAfterStatusLine},
        {"a node that never reads", true, NodeBehaviour::NeverRead},
    };
    const std::string requestA = ComposePeerCastRequest("ch", "Artist A", "Title A", "Album A");
    const std::string requestB = ComposePeerCastRequest("ch", "Artist B", "Title B", "Album B");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::unique_ptr<StandInNode> node;
        if (row.listening) {
            node = std::make_unique<StandInNode>(row.behaviour);
            ASSERT_TRUE(node->listening());
        }
        _settings.peerCast._dwPort = static_cast<DWORD>(node ? node->port() : FreeLoopbackPort());
        MessageBoxWatcher boxes(kCaption);
        SetCurrentFile(std::string());  // nothing playing at the start: A is the first update
        StartBroadcast();
        RecordingEncoder* encoder = encoders_->Last();

        // The title goes out before the node is asked.
        Announce(a_);
        EXPECT_TRUE(WaitForTitles(encoder, 1, 3000));
        // The next one waits at most for the node's bound.
        const DWORD announced = ::GetTickCount();
        Announce(b_);
        EXPECT_TRUE(WaitForTitles(encoder, 2, 15000));
        const DWORD delayMs = ::GetTickCount() - announced;
        EXPECT_THAT(Titles(encoder), ::testing::ElementsAre("WriteScript TEXT|Artist A - Title A",
                                                            "WriteScript TEXT|Artist B - Title B"));

        // A stop while the worker waits for the node (its update for B began with B's title)
        // cancels the update: the broadcast is idle at once, not at the node's bound.
        Pump(300);
        const DWORD stopping = ::GetTickCount();
        StopBroadcast();
        const DWORD stopMs = ::GetTickCount() - stopping;
        EXPECT_LT(stopMs, 2000u);
        EXPECT_FALSE(SongWorkerRunning());
        EXPECT_EQ(0, IsBroadcasting());
        EXPECT_TRUE(boxes.Seen().empty()) << boxes.Seen()[0].text;
        if (node) {
            // Each change was tried on its own connection.
            node->Stop();
            ASSERT_GE(node->Connections().size(), 2u);
            EXPECT_EQ(requestA, node->Connections()[0].request);
            EXPECT_EQ(requestB, node->Connections()[1].request);
        }

        std::string name = std::string(row.what).substr(2);
        for (char& c : name)
            if (c == ' ') c = '_';
        RecordProperty(name + "_next_title_ms", static_cast<int>(delayMs));
        RecordProperty(name + "_stop_ms", static_cast<int>(stopMs));
        std::printf("%s: next title after %lu ms, stop in %lu ms\n", row.what, delayMs, stopMs);
    }
}

}  // namespace
}  // namespace ombrel::test
