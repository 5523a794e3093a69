// The setmeta update against the stand-in node: the bytes it receives, and what bad nodes cost.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "peercast/PeerCastMetadata.h"
#include "peercast/TcpConnection.h"
#include "tests/peercast/LoopbackSupport.h"
#include "tests/peercast/StandInNode.h"

namespace ombrel::test {
namespace {

// Sends one update to the node and returns the request bytes the node saw.
std::string RequestSeenBy(StandInNode& node, const char* channel, const char* artist, const char* title,
                          const char* album) {
    const size_t before = node.Connections().size();
    EXPECT_EQ(UpdatePeerCastMetadata(kPeerCastHost, node.port(), channel, artist, title, album), 1);
    if (!node.WaitForConnections(before + 1, 5000)) return "(no connection)";
    return node.Connections()[before].request;
}

TEST(PeerCastMetadata, WorkedExampleBytes) {
    StandInNode node(NodeBehaviour::AnswerAndClose);
    ASSERT_TRUE(node.listening());
    const std::string request = RequestSeenBy(node, "Test Ch", "A B", "T-1", "");
    RecordProperty("request", request);  // in the XML report of the run
    EXPECT_EQ(request,
              "GET /admin?cmd=setmeta&name=Test+Ch&t_artist=A+B&t_title=T-1&t_album= HTTP/1.0\r\n\r\n");
}

TEST(PeerCastMetadata, ParametersPresentOrAbsent) {
    struct Row {
        const char* channel;
        const char* artist;
        const char* title;
        const char* album;
        const char* request;
    };
    const Row rows[] = {
        // empty channel: name= still sent; empty texts still send their names
        {"", "", "", "", "GET /admin?cmd=setmeta&name=&t_artist=&t_title=&t_album= HTTP/1.0\r\n\r\n"},
        // absent texts leave their parameters out
        {"ch", nullptr, nullptr, nullptr, "GET /admin?cmd=setmeta&name=ch HTTP/1.0\r\n\r\n"},
        // only a title
        {"ch", nullptr, "t", nullptr, "GET /admin?cmd=setmeta&name=ch&t_title=t HTTP/1.0\r\n\r\n"},
        // artist and album, in their order
        {"ch", "a", nullptr, "b", "GET /admin?cmd=setmeta&name=ch&t_artist=a&t_album=b HTTP/1.0\r\n\r\n"},
        // an absent channel is sent as an empty one
        {nullptr, "a", "t", "b", "GET /admin?cmd=setmeta&name=&t_artist=a&t_title=t&t_album=b HTTP/1.0\r\n\r\n"},
    };
    StandInNode node(NodeBehaviour::AnswerAndClose);
    ASSERT_TRUE(node.listening());
    for (const Row& row : rows) {
        EXPECT_EQ(RequestSeenBy(node, row.channel, row.artist, row.title, row.album), row.request)
            << "channel " << (row.channel ? row.channel : "(null)");
    }
}

TEST(PeerCastMetadata, ReservedCharactersAreEscapedInEveryValue) {
    struct Row {
        const char* text;
        const char* encoded;
    };
    const Row rows[] = {
        {"a b", "a+b"},                       // space
        {"&=?", "%26%3D%3F"},                 // query delimiters
        {"100%", "100%25"},                   // percent
        {"AC/DC #1", "AC%2FDC+%231"},         // slash and number sign
        {"line1\r\nline2", "line1%0D%0Aline2"},  // a comment tag's line break
        {"x HTTP/1.0\r\n\r\nGET /", "x+HTTP%2F1.0%0D%0A%0D%0AGET+%2F"},  // no second request
    };
    StandInNode node(NodeBehaviour::AnswerAndClose);
    ASSERT_TRUE(node.listening());
    for (const Row& row : rows) {
        const std::string e = row.encoded;
        const std::string request = RequestSeenBy(node, row.text, row.text, row.text, row.text);
        EXPECT_EQ(request, "GET /admin?cmd=setmeta&name=" + e + "&t_artist=" + e + "&t_title=" + e +
                               "&t_album=" + e + " HTTP/1.0\r\n\r\n")
            << "text \"" << row.text << "\"";
        // One request line, then the empty line, and printable ASCII apart from those.
        EXPECT_EQ(request.find("\r\n"), request.size() - 4) << request;
        for (size_t i = 0; i + 4 < request.size(); ++i) {
            const unsigned char byte = static_cast<unsigned char>(request[i]);
            EXPECT_TRUE(byte >= 0x20 && byte < 0x7F) << "byte " << int(byte) << " at " << i << " of " << request;
        }
    }
}

TEST(PeerCastMetadata, NoListenerReturnsZeroAtOnce) {
    Stopwatch watch;
    EXPECT_EQ(UpdatePeerCastMetadata(kPeerCastHost, RefusingPort(), "ch", "a", "t", "b"), 0);
    EXPECT_LT(watch.ms(), 4000u);
}

TEST(PeerCastMetadata, BadArgumentsReturnZero) {
    StandInNode node(NodeBehaviour::AnswerAndClose);
    const struct {
        const char* host;
        int port;
    } rows[] = {
        {nullptr, 7144},          // no host
        {kPeerCastHost, -1},      // port below the range
        {kPeerCastHost, 65536},   // port above it
    };
    for (const auto& row : rows) {
        EXPECT_EQ(UpdatePeerCastMetadata(row.host, row.port, "ch", "a", "t", "b"), 0) << "port " << row.port;
    }
    node.Stop();
    EXPECT_EQ(node.Connections().size(), 0u);
}

// Nodes that answer badly but quickly: the request is sent, so the result is 1, at once.
TEST(PeerCastMetadata, QuickBadNodesStillCountAsSent) {
    struct Row {
        const char* what;
        NodeBehaviour behaviour;
        const char* head;
    };
    const Row rows[] = {
        {"normal head, then close", NodeBehaviour::AnswerAndClose, kNodeHead},
        {"head kept open", NodeBehaviour::AnswerAndKeepOpen, kNodeHead},
        {"close after the status line", NodeBehaviour::CloseAfterStatusLine, kNodeHead},
        {"one byte per chunk", NodeBehaviour::OneBytePerChunk, kNodeHead},
        {"line feeds alone", NodeBehaviour::AnswerAndClose, kNodeHeadLf},
        {"an error status", NodeBehaviour::AnswerAndClose, "HTTP/1.0 404 Not Found\r\n\r\n"},
        {"endless head", NodeBehaviour::EndlessHead, kNodeHead},
    };
    for (const Row& row : rows) {
        StandInNode node(row.behaviour, row.head);
        ASSERT_TRUE(node.listening()) << row.what;
        Stopwatch watch;
        EXPECT_EQ(UpdatePeerCastMetadata(kPeerCastHost, node.port(), "ch", "a", "t", "b"), 1) << row.what;
        EXPECT_LT(watch.ms(), 4000u) << row.what << ": the 5 s bound is not to be waited for";
        ASSERT_TRUE(node.WaitForConnections(1, 5000)) << row.what;
        const NodeConnection seen = node.Connections()[0];
        EXPECT_EQ(seen.request, "GET /admin?cmd=setmeta&name=ch&t_artist=a&t_title=t&t_album=b HTTP/1.0\r\n\r\n")
            << row.what;
        if (row.behaviour == NodeBehaviour::AnswerAndKeepOpen) {
            EXPECT_TRUE(seen.clientClosed) << "the update left the connection open";
            EXPECT_LT(seen.clientClosedAfterMs, 3000u);
        }
    }
}

// The nodes that cost a bound, side by side: one never answers, one never accepts (its
// backlog is full), one sends a byte every 500 ms and never ends its head. Each costs about
// 5 s, not more.
TEST(PeerCastMetadata, SlowNodesCostAboutFiveSeconds) {
    StandInNode silent(NodeBehaviour::NeverAnswer);
    ASSERT_TRUE(silent.listening());
    StandInNode drip(NodeBehaviour::Drip);
    ASSERT_TRUE(drip.listening());

    LoopbackListener stuck(1);
    ASSERT_TRUE(stuck.ok());
    std::vector<std::unique_ptr<TcpConnection>> queued;  // fill the backlog
    for (int i = 0; i < 8; ++i) {
        auto connection = std::make_unique<TcpConnection>();
        connection->useTimeout = 1;
        connection->timeout = {1, 0};
        const int result = connection->Connect("127.0.0.1", stuck.port());
        queued.push_back(std::move(connection));
        if (result != 0) break;
    }
    ASSERT_EQ(queued.back()->socket, INVALID_SOCKET) << "the backlog never filled";

    int dripResult = -99;
    DWORD dripMs = 0;
    std::thread toDrip([&] {
        Stopwatch watch;
        dripResult = UpdatePeerCastMetadata(kPeerCastHost, drip.port(), "ch", "a", "t", "b");
        dripMs = watch.ms();
    });
    int silentResult = -99;
    int stuckResult = -99;
    DWORD silentMs = 0;
    DWORD stuckMs = 0;
    std::thread toSilent([&] {
        Stopwatch watch;
        silentResult = UpdatePeerCastMetadata(kPeerCastHost, silent.port(), "ch", "a", "t", "b");
        silentMs = watch.ms();
    });
    std::thread toStuck([&] {
        Stopwatch watch;
        stuckResult = UpdatePeerCastMetadata(kPeerCastHost, stuck.port(), "ch", "a", "t", "b");
        stuckMs = watch.ms();
    });
    toSilent.join();
    toStuck.join();
    toDrip.join();

    EXPECT_EQ(silentResult, 1) << "the request was sent";
    EXPECT_GE(silentMs, 4000u);
    EXPECT_LT(silentMs, 8000u);
    ASSERT_TRUE(silent.WaitForConnections(1, 3000));
    EXPECT_TRUE(silent.Connections()[0].clientClosed);
    EXPECT_EQ(silent.Connections()[0].request,
              "GET /admin?cmd=setmeta&name=ch&t_artist=a&t_title=t&t_album=b HTTP/1.0\r\n\r\n");

    EXPECT_EQ(dripResult, 1) << "the request was sent";
    EXPECT_GE(dripMs, 4000u);
    EXPECT_LT(dripMs, 8000u) << "each byte renewed the wait";
    ASSERT_TRUE(drip.WaitForConnections(1, 3000));
    EXPECT_TRUE(drip.Connections()[0].clientClosed);

    EXPECT_EQ(stuckResult, 0) << "nothing could be sent";
    EXPECT_GE(stuckMs, 4000u);
    EXPECT_LT(stuckMs, 8000u);
}

}  // namespace
}  // namespace ombrel::test
