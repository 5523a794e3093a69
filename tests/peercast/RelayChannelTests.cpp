// The relay channel on each kind of stand-in node: made with the stream's fields and ended the
// way it was made; a channel the broadcaster made is used and never ended; bad nodes give a
// clear outcome within the bound.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "peercast/BoundedConnection.h"
#include "peercast/PeerCastMetadata.h"
#include "peercast/RelayChannel.h"
#include "tests/common/Loopback.h"
#include "tests/common/StandInNode.h"
#include "tests/common/Stopwatch.h"

namespace ombrel::test {
namespace {

using nlohmann::json;

RelayChannelFields Fields() {
    RelayChannelFields fields;
    fields.name = "Ombrel \xE3\x83\xA9\xE3\x82\xB8\xE3\x82\xAA & co";  // "Ombrel ラジオ & co"
    fields.genre = "Jazz";
    fields.desc = "desc \"quoted\"";
    fields.contact = "http://example.jp/thread/1?a=1&b=2";
    fields.bitrateKbps = 138;
    fields.sourceUrl = "http://127.0.0.1:8008/";
    fields.track = {"Title", "Artist", "Album"};
    return fields;
}

RelayChannel Open(StandInNode& node) {
    return OpenRelayChannel(kPeerCastHost, node.port(), Fields(), PeerCastInterface::Unknown, ::GetTickCount(), nullptr);
}

void Show(StandInNode& node, const char* what) {
    std::printf("--- %s\n", what);
    for (const NodeConnection& c : node.Connections()) std::printf("%s\n\n", c.request.c_str());
}

TEST(RelayChannel, PeerCastYtMakesItWithFetchAndEndsItWithStopChannel) {
    StandInNode node(NodeBehaviour::JsonRpc);
    node.AddChannel("other");
    const RelayChannel channel = Open(node);
    EXPECT_EQ(channel.outcome, RelayOutcome::Created);
    EXPECT_EQ(channel.kind, RelayKind::RpcFetch);
    EXPECT_EQ(channel.node, PeerCastInterface::JsonRpc);
    EXPECT_FALSE(channel.trackSet) << "fetch takes no track; the first update sets it";
    const json made = node.Channel(Fields().name);
    ASSERT_TRUE(made.is_object());
    EXPECT_EQ(made["channelId"], channel.id);
    EXPECT_EQ(made["status"]["source"], "http://127.0.0.1:8008/");
    EXPECT_EQ(made["info"]["genre"], "Jazz");
    EXPECT_EQ(made["info"]["desc"], "desc \"quoted\"");
    EXPECT_EQ(made["info"]["url"], Fields().contact);
    EXPECT_EQ(made["info"]["bitrate"], 138);
    EXPECT_EQ(made["info"]["contentType"], "WMA");

    EXPECT_TRUE(EndRelayChannel(kPeerCastHost, node.port(), channel, 2000));
    EXPECT_TRUE(node.Channel(Fields().name).is_null());
    EXPECT_FALSE(node.Channel("other").is_null());
    node.Stop();
    Show(node, "peercast-yt: getChannels, fetch, stopChannel");
}

TEST(RelayChannel, PeerCastStationMakesItWithBroadcastChannelAndTheTrack) {
    for (bool yellowPage : {false, true}) {
        StandInNode node(NodeBehaviour::PeerCastStation);
        node.SetYellowPage(yellowPage);
        const RelayChannel channel = Open(node);
        EXPECT_EQ(channel.outcome, RelayOutcome::Created);
        EXPECT_EQ(channel.kind, RelayKind::BroadcastChannel);
        EXPECT_TRUE(channel.trackSet);
        const json made = node.Channel(Fields().name);
        ASSERT_TRUE(made.is_object());
        EXPECT_EQ(made["yellowPageId"], yellowPage ? json(7) : json());
        EXPECT_EQ(made["sourceStream"], "http");
        EXPECT_EQ(made["info"]["bitrate"], 138);
        EXPECT_EQ(made["info"]["url"], Fields().contact);
        EXPECT_EQ(made["track"]["name"], "Title");
        EXPECT_EQ(made["track"]["creator"], "Artist");
        EXPECT_EQ(made["track"]["album"], "Album");
        EXPECT_TRUE(EndRelayChannel(kPeerCastHost, node.port(), channel, 2000));
        EXPECT_TRUE(node.Channel(Fields().name).is_null());
        node.Stop();
        if (yellowPage) Show(node, "PeerCastStation: getChannels, fetch (none), getYellowPages, broadcastChannel, stopChannel");
    }
}

TEST(RelayChannel, AnOldStyleNodeMakesItWithTheAdminCommands) {
    StandInNode node(NodeBehaviour::OldStyle);
    const RelayChannel channel = Open(node);
    EXPECT_EQ(channel.outcome, RelayOutcome::Created);
    EXPECT_EQ(channel.kind, RelayKind::AdminFetch);
    EXPECT_EQ(channel.node, PeerCastInterface::SetMeta);
    ASSERT_EQ(node.AdminChannels().size(), 1u);
    const AdminChannel made = node.AdminChannels()[0];
    EXPECT_EQ(made.id, channel.id);
    EXPECT_EQ(made.name, Fields().name) << "the name as UTF-8, as setmeta names it";
    EXPECT_EQ(made.contact, Fields().contact);
    EXPECT_EQ(made.desc, Fields().desc);
    EXPECT_EQ(made.url, "http://127.0.0.1:8008/");
    EXPECT_EQ(made.bitrate, 138);
    EXPECT_EQ(made.type, "WMA");
    EXPECT_TRUE(EndRelayChannel(kPeerCastHost, node.port(), channel, 2000));
    EXPECT_TRUE(node.AdminChannels().empty());
    node.Stop();
    Show(node, "old-style node: POST refused, viewxml, fetch, viewxml, stop");
}

// With the IPv6 option, each JSON-RPC node makes the channel on its IPv6 network; an old-style node
// has none and makes the IPv4 channel, which the outcome says.
TEST(RelayChannel, TheIPv6NetworkWhereTheNodeHasOne) {
    RelayChannelFields fields = Fields();
    for (bool ipv6 : {false, true}) {
        fields.ipv6 = ipv6;
        const char* expected = ipv6 ? "ipv6" : "ipv4";
        for (NodeBehaviour behaviour : {NodeBehaviour::JsonRpc, NodeBehaviour::PeerCastStation}) {
            StandInNode node(behaviour);
            const RelayChannel channel =
                OpenRelayChannel(kPeerCastHost, node.port(), fields, PeerCastInterface::Unknown, ::GetTickCount(), nullptr);
            EXPECT_EQ(channel.outcome, RelayOutcome::Created) << expected;
            EXPECT_FALSE(channel.ipv4Only);
            EXPECT_EQ(node.Channel(fields.name)["network"], expected);
            node.Stop();
        }
        StandInNode old(NodeBehaviour::OldStyle);
        const RelayChannel channel =
            OpenRelayChannel(kPeerCastHost, old.port(), fields, PeerCastInterface::Unknown, ::GetTickCount(), nullptr);
        EXPECT_EQ(channel.outcome, RelayOutcome::Created);
        EXPECT_EQ(channel.ipv4Only, ipv6) << "an old-style node relays on IPv4 only";
        EXPECT_EQ(old.AdminChannels().size(), 1u);
        EXPECT_TRUE(EndRelayChannel(kPeerCastHost, old.port(), channel, 2000));
        old.Stop();
    }
}

// The broadcaster made the channel by hand: it is used and never ended.
TEST(RelayChannel, AChannelOfThatNameIsUsedAndNeverEnded) {
    StandInNode yt(NodeBehaviour::JsonRpc);
    yt.AddChannel(Fields().name);
    RelayChannel channel = Open(yt);
    EXPECT_EQ(channel.outcome, RelayOutcome::Existing);
    EXPECT_FALSE(EndRelayChannel(kPeerCastHost, yt.port(), channel, 2000));
    yt.Stop();
    EXPECT_EQ(yt.Connections().size(), 1u) << "getChannels only";
    EXPECT_EQ(yt.Channels().size(), 1u);

    StandInNode old(NodeBehaviour::OldStyle);
    old.AddAdminChannel(Fields().name);
    channel = Open(old);
    EXPECT_EQ(channel.outcome, RelayOutcome::Existing);
    EXPECT_EQ(channel.node, PeerCastInterface::SetMeta);
    old.Stop();
    EXPECT_EQ(old.AdminChannels().size(), 1u);

    // Another node's channel of that name relayed here is not the broadcaster's: a channel is made.
    StandInNode relayed(NodeBehaviour::JsonRpc);
    relayed.AddChannel(Fields().name, false);
    EXPECT_EQ(Open(relayed).outcome, RelayOutcome::Created);
}

// A stop (or the bound) cuts the making short before its answer: the node may have made the
// channel all the same, so ending it looks for it by its name.
TEST(RelayChannel, AChannelWhoseMakingWasNotAnsweredIsStillEnded) {
    StandInNode node(NodeBehaviour::JsonRpcSlowCreate);
    std::atomic<LONG> stop{0};
    std::thread stopper([&] {
        node.WaitForConnections(1, 5000);  // getChannels answered; fetch under way
        ::Sleep(300);
        stop = 1;
    });
    const RelayChannel channel =
        OpenRelayChannel(kPeerCastHost, node.port(), Fields(), PeerCastInterface::Unknown, ::GetTickCount(), &stop);
    stopper.join();
    EXPECT_EQ(channel.outcome, RelayOutcome::Refused);
    EXPECT_TRUE(channel.maybeMade);
    EXPECT_FALSE(node.Channel(Fields().name).is_null());
    EXPECT_TRUE(EndRelayChannel(kPeerCastHost, node.port(), channel, 2000));
    EXPECT_TRUE(node.Channel(Fields().name).is_null());
}

TEST(RelayChannel, BadNodesGiveAClearOutcomeWithinTheBound) {
    const LONG before = ConnectAttempts();
    RelayChannel channel = OpenRelayChannel(kPeerCastHost, FreeLoopbackPort(), Fields(), PeerCastInterface::Unknown,
                                            ::GetTickCount(), nullptr);
    EXPECT_EQ(channel.outcome, RelayOutcome::Unreachable);
    EXPECT_EQ(ConnectAttempts() - before, 1);

    const struct {
        const char* what;
        NodeBehaviour behaviour;
        bool slow;
    } rows[] = {
        {"403 to everything", NodeBehaviour::Forbidden, false},
        {"garbage", NodeBehaviour::JsonRpcGarbage, false},
        {"an error to every call", NodeBehaviour::JsonRpcError, false},
        {"a body cut short", NodeBehaviour::JsonRpcTruncated, false},
        {"never answers", NodeBehaviour::NeverAnswer, true},
        {"never answers a POST", NodeBehaviour::JsonRpcSilent, true},
    };
    for (const auto& row : rows) {
        StandInNode node(row.behaviour);
        Stopwatch watch;
        channel = Open(node);
        const DWORD ms = watch.ms();
        EXPECT_EQ(channel.outcome, RelayOutcome::Refused) << row.what;
        EXPECT_LT(ms, row.slow ? 7000u : 3000u) << row.what;
        node.Stop();
        EXPECT_TRUE(node.Channels().empty()) << row.what;
    }
}

}  // namespace
}  // namespace ombrel::test
