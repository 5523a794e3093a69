// The whole track update against stand-in nodes of each kind: an old node takes setmeta, a
// JSON-RPC node refuses it and takes getChannels and setChannelInfo, bad JSON-RPC nodes change
// nothing and cost no more than the one bound, and a stop ends the update at once.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "peercast/BoundedConnection.h"
#include "peercast/PeerCastMetadata.h"
#include "peercast/PeerCastUpdate.h"
#include "tests/common/Loopback.h"
#include "tests/common/StandInNode.h"
#include "tests/common/Stopwatch.h"

namespace ombrel::test {
namespace {

using nlohmann::json;

const PeerCastTrack kTrack = {"ch", "Artist", "Title", "Album"};
const std::string kSetmeta = "GET /admin?cmd=setmeta&name=ch&t_artist=Artist&t_title=Title&t_album=Album HTTP/1.0\r\n\r\n";

// The first line of each request the node got and, for a POST, its JSON-RPC method.
std::vector<std::string> Calls(StandInNode& node) {
    std::vector<std::string> calls;
    for (const NodeConnection& c : node.Connections()) {
        const size_t body = c.request.find("\r\n\r\n");
        const json call = json::parse(c.request.substr(body == std::string::npos ? 0 : body + 4), nullptr, false);
        calls.push_back(call.is_object() && call.contains("method") ? "POST " + call["method"].get<std::string>()
                                                                    : c.request.substr(0, c.request.find(' ')));
    }
    return calls;
}

// The bytes of every exchange, for the report of a run.
void Show(StandInNode& node, const char* what) {
    std::printf("--- %s\n", what);
    for (const NodeConnection& c : node.Connections()) std::printf("%s\n", c.request.c_str());
}

TEST(PeerCastUpdate, EachKindOfNodeTakesTheTrackItsOwnWay) {
    // An old node: setmeta as ever, one exchange.
    StandInNode old(NodeBehaviour::AnswerAndClose);
    ASSERT_TRUE(old.listening());
    bool taken = false;
    EXPECT_EQ(UpdatePeerCastTrack(kPeerCastHost, old.port(), kTrack, PeerCastInterface::Unknown, nullptr, &taken),
              PeerCastInterface::SetMeta);
    EXPECT_TRUE(taken);
    ASSERT_TRUE(old.WaitForConnections(1, 5000));
    old.Stop();
    ASSERT_EQ(old.Connections().size(), 1u);
    EXPECT_EQ(old.Connections()[0].request, kSetmeta);

    // A JSON-RPC node: setmeta refused, then the channel of that name found and set; the other
    // channel and the channel's own info untouched.
    StandInNode node(NodeBehaviour::JsonRpc);
    node.AddChannel("other");
    node.AddChannel("ch");
    const json otherBefore = node.Channel("other");
    taken = false;
    EXPECT_EQ(UpdatePeerCastTrack(kPeerCastHost, node.port(), kTrack, PeerCastInterface::Unknown, nullptr, &taken),
              PeerCastInterface::JsonRpc);
    EXPECT_TRUE(taken);
    ASSERT_TRUE(node.WaitForConnections(3, 5000));
    EXPECT_EQ(Calls(node), (std::vector<std::string>{"GET", "POST getChannels", "POST setChannelInfo"}));
    EXPECT_EQ(node.Connections()[0].request, kSetmeta) << "the same bytes as to an old node";
    EXPECT_EQ(node.Channel("ch")["track"],
              json({{"name", "Title"}, {"creator", "Artist"}, {"album", "Album"}, {"genre", ""}, {"url", ""}}));
    EXPECT_EQ(node.Channel("ch")["info"]["contentType"], "WMV");
    EXPECT_EQ(node.Channel("other"), otherBefore);

    // A later track of the same broadcast: no setmeta.
    const PeerCastTrack next = {"ch", "B", "Next", ""};
    EXPECT_EQ(UpdatePeerCastTrack(kPeerCastHost, node.port(), next, PeerCastInterface::JsonRpc, nullptr),
              PeerCastInterface::JsonRpc);
    ASSERT_TRUE(node.WaitForConnections(5, 5000));
    EXPECT_EQ(Calls(node).size(), 5u);
    EXPECT_EQ(Calls(node)[3], "POST getChannels");
    EXPECT_EQ(node.Channel("ch")["track"]["name"], "Next");
    node.Stop();
    Show(node, "JSON-RPC node: the first track, then a later one");

    // No channel of that name, or only another node's channel of that name relayed here:
    // nothing changes, the track counts as not taken, and the node still counts as a JSON-RPC node.
    StandInNode none(NodeBehaviour::JsonRpc);
    none.AddChannel("other");
    none.AddChannel("ch", false);
    const json before = none.Channels();
    taken = true;
    EXPECT_EQ(UpdatePeerCastTrack(kPeerCastHost, none.port(), kTrack, PeerCastInterface::Unknown, nullptr, &taken),
              PeerCastInterface::JsonRpc);
    EXPECT_FALSE(taken);
    none.Stop();
    EXPECT_EQ(Calls(none), (std::vector<std::string>{"GET", "POST getChannels"}));
    EXPECT_EQ(none.Channels(), before);
}

// A relayed channel of the same name listed first: the track goes to the channel this node
// broadcasts, the relayed one stays as it was.
TEST(PeerCastUpdate, TheChannelTheNodeBroadcastsIsPreferredToARelayedOne) {
    StandInNode node(NodeBehaviour::JsonRpc);
    node.AddChannel("ch", false);
    node.AddChannel("ch", true);
    const json relayed = node.Channels()[0];
    bool taken = false;
    UpdatePeerCastTrack(kPeerCastHost, node.port(), kTrack, PeerCastInterface::JsonRpc, nullptr, &taken);
    EXPECT_TRUE(taken);
    node.Stop();
    EXPECT_EQ(node.Channels()[0], relayed);
    EXPECT_EQ(node.Channels()[1]["track"]["name"], "Title");
}

// On Windows a closed loopback port is refused only after about 2 s, so each attempt counts:
// whatever the node was known as, a failed connect ends the update.
TEST(PeerCastUpdate, ANodeThatIsNotRunningCostsOneConnectionAttempt) {
    const int port = FreeLoopbackPort();
    for (PeerCastInterface known : {PeerCastInterface::Unknown, PeerCastInterface::SetMeta, PeerCastInterface::JsonRpc}) {
        const LONG before = ConnectAttempts();
        bool taken = true;
        EXPECT_EQ(UpdatePeerCastTrack(kPeerCastHost, port, kTrack, known, nullptr, &taken), PeerCastInterface::Unknown);
        EXPECT_FALSE(taken);
        EXPECT_EQ(ConnectAttempts() - before, 1) << static_cast<int>(known);
    }
}

// Bad nodes change nothing, never throw or hang, and are tried afresh at the next track: a
// quick one costs no bound, a silent one the one bound of the whole update.
TEST(PeerCastUpdate, BadJsonRpcNodesChangeNothingWithinTheBound) {
    const struct {
        const char* what;
        NodeBehaviour behaviour;
        size_t calls;  // connections the update made
        bool slow;     // costs the bound
    } rows[] = {
        {"an error to every call", NodeBehaviour::JsonRpcError, 2, false},
        {"garbage", NodeBehaviour::JsonRpcGarbage, 2, false},
        {"a body cut short", NodeBehaviour::JsonRpcTruncated, 2, false},
        {"an answer over the limit", NodeBehaviour::JsonRpcOversized, 2, false},
        {"403 to everything", NodeBehaviour::Forbidden, 2, false},
        {"never answers a POST", NodeBehaviour::JsonRpcSilent, 2, true},
    };
    for (const auto& row : rows) {
        StandInNode node(row.behaviour);
        node.AddChannel("ch");
        const json before = node.Channel("ch");
        Stopwatch watch;
        bool taken = true;
        EXPECT_EQ(UpdatePeerCastTrack(kPeerCastHost, node.port(), kTrack, PeerCastInterface::Unknown, nullptr, &taken),
                  PeerCastInterface::Unknown)
            << row.what;
        EXPECT_FALSE(taken) << row.what;
        const DWORD ms = watch.ms();
        if (row.slow) {
            EXPECT_GE(ms, 4000u) << row.what;
            EXPECT_LT(ms, 8000u) << row.what << ": setmeta and JSON-RPC share one bound";
        } else {
            EXPECT_LT(ms, 4000u) << row.what;
        }
        node.Stop();
        EXPECT_EQ(node.Connections().size(), row.calls) << row.what;
        EXPECT_EQ(node.Channel("ch"), before) << row.what;
    }
}

// A stop while the node keeps the update waiting in its JSON-RPC part ends it at once.
TEST(PeerCastUpdate, AStopDuringTheJsonRpcPartEndsItAtOnce) {
    StandInNode node(NodeBehaviour::JsonRpcSilent);
    node.AddChannel("ch");
    std::atomic<LONG> stop{0};
    std::atomic<DWORD> stoppedAt{0};
    std::thread stopper([&] {
        node.WaitForConnections(1, 5000);  // setmeta refused; getChannels under way
        ::Sleep(200);
        stoppedAt = ::GetTickCount();
        stop = 1;
    });
    UpdatePeerCastTrack(kPeerCastHost, node.port(), kTrack, PeerCastInterface::Unknown, &stop);
    const DWORD endedAt = ::GetTickCount();
    stopper.join();
    EXPECT_LT(endedAt - stoppedAt, 1000u);
    std::printf("update ended %lu ms after the stop\n", static_cast<unsigned long>(endedAt - stoppedAt));
    node.Stop();
    EXPECT_EQ(Calls(node), (std::vector<std::string>{"GET", "POST getChannels"}));
}

}  // namespace
}  // namespace ombrel::test
