// The setmeta update against the stand-in node: the bytes it receives, and what bad nodes cost.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "peercast/PeerCastMetadata.h"
#include "peercast/TcpConnection.h"
#include "tests/common/Loopback.h"
#include "tests/common/StandInNode.h"
#include "tests/common/Stopwatch.h"

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

// Connections that fill the backlog of a listener that never accepts: the system then holds
// further attempts without an answer. Empty when the backlog never filled.
std::vector<std::unique_ptr<TcpConnection>> FillBacklog(const LoopbackListener& stuck) {
    std::vector<std::unique_ptr<TcpConnection>> queued;
    for (int i = 0; i < 8; ++i) {
        auto connection = std::make_unique<TcpConnection>();
        connection->useTimeout = 1;
        connection->timeout = {1, 0};
        const int result = connection->Connect("127.0.0.1", stuck.port());
        queued.push_back(std::move(connection));
        if (result != 0) return queued;
    }
    return {};
}

// 64 KiB in every value, each byte one that is escaped: what templates repeating a tag can make.
const std::string kHostile(64 * 1024, '/');

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

// Each value keeps its first 1023 bytes, so the request stays far below what hostile templates
// would make (0.6 MiB).
TEST(PeerCastMetadata, HostileValuesAreCutBeforeEncoding) {
    StandInNode node(NodeBehaviour::AnswerAndClose);
    ASSERT_TRUE(node.listening());
    const char* h = kHostile.c_str();
    const std::string request = RequestSeenBy(node, h, h, h, h);
    std::string e;
    for (int i = 0; i < 1023; ++i) e += "%2F";
    EXPECT_EQ(request, "GET /admin?cmd=setmeta&name=" + e + "&t_artist=" + e + "&t_title=" + e + "&t_album=" + e +
                           " HTTP/1.0\r\n\r\n");
    EXPECT_LT(request.size(), 19u * 1024);
}

TEST(PeerCastMetadata, NoListenerReturnsZeroAtOnce) {
    Stopwatch watch;
    EXPECT_EQ(UpdatePeerCastMetadata(kPeerCastHost, FreeLoopbackPort(), "ch", "a", "t", "b"), 0);
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

// The nodes that cost the bound, side by side: one never answers, one never reads a request of
// hostile values, one never accepts (its backlog is full), one sends a byte every 500 ms and
// never ends its head. Each costs about 5 s, not more.
TEST(PeerCastMetadata, SlowNodesCostAboutFiveSeconds) {
    StandInNode silent(NodeBehaviour::NeverAnswer);
    StandInNode deaf(NodeBehaviour::NeverRead);
    StandInNode drip(NodeBehaviour::Drip);
    LoopbackListener stuck(1);
    ASSERT_TRUE(silent.listening() && deaf.listening() && drip.listening() && stuck.ok());
    const auto queued = FillBacklog(stuck);
    ASSERT_FALSE(queued.empty()) << "the backlog never filled";

    struct Row {
        const char* what;
        int port;
        const char* value;
        int result = -99;
        DWORD ms = 0;
    };
    Row rows[] = {
        {"never answers", silent.port(), "a"},
        {"never reads", deaf.port(), kHostile.c_str()},
        {"drips", drip.port(), "a"},
        {"never accepts", stuck.port(), "a"},
    };
    std::vector<std::thread> updates;
    for (Row& row : rows) {
        updates.emplace_back([&row] {
            Stopwatch watch;
            row.result = UpdatePeerCastMetadata(kPeerCastHost, row.port, "ch", row.value, row.value, row.value);
            row.ms = watch.ms();
        });
    }
    // A hang is ended by the nodes going away.
    const bool ended = EndsWithin(
        15000, [&] { for (std::thread& update : updates) update.join(); },
        [&] {
            silent.Stop();
            deaf.Stop();
            drip.Stop();
        });
    EXPECT_TRUE(ended) << "an update was still running after 15 s";
    silent.Stop();
    deaf.Stop();
    drip.Stop();

    for (const Row& row : rows) {
        EXPECT_GE(row.ms, 4000u) << row.what;
        EXPECT_LT(row.ms, 8000u) << row.what;
    }
    EXPECT_EQ(rows[0].result, 1) << "the request was sent";
    EXPECT_EQ(rows[2].result, 1) << "the request was sent";
    EXPECT_EQ(rows[3].result, 0) << "nothing could be sent";
    ASSERT_FALSE(silent.Connections().empty());
    EXPECT_TRUE(silent.Connections()[0].clientClosed);
    EXPECT_EQ(silent.Connections()[0].request,
              "GET /admin?cmd=setmeta&name=ch&t_artist=a&t_title=a&t_album=a HTTP/1.0\r\n\r\n");
    ASSERT_FALSE(drip.Connections().empty());
    EXPECT_TRUE(drip.Connections()[0].clientClosed);
    ASSERT_FALSE(deaf.Connections().empty());
    EXPECT_TRUE(deaf.Connections()[0].clientClosed);
}

// A stop asked for by another thread (the song worker's stop flag) ends the update at once,
// whatever the node does; one asked for before the update sends nothing at all.
TEST(PeerCastMetadata, AStopEndsTheUpdateAtOnce) {
    StandInNode silent(NodeBehaviour::NeverAnswer);
    StandInNode deaf(NodeBehaviour::NeverRead);
    LoopbackListener stuck(1);
    StandInNode answering(NodeBehaviour::AnswerAndClose);
    ASSERT_TRUE(silent.listening() && deaf.listening() && stuck.ok() && answering.listening());
    const auto queued = FillBacklog(stuck);
    ASSERT_FALSE(queued.empty()) << "the backlog never filled";
    const struct {
        const char* what;
        int port;
        const char* value;
        DWORD stopAfterMs;  // 0: asked for before the update starts
    } rows[] = {
        {"never answers", silent.port(), "a", 300},
        {"never reads", deaf.port(), kHostile.c_str(), 300},
        {"never accepts", stuck.port(), "a", 300},
        {"stopped before", answering.port(), "a", 0},
    };
    for (const auto& row : rows) {
        std::atomic<LONG> stop{row.stopAfterMs == 0 ? 1 : 0};
        std::atomic<DWORD> stoppedAt{::GetTickCount()};
        std::thread stopper([&] {
            if (row.stopAfterMs == 0) return;
            ::Sleep(row.stopAfterMs);
            stoppedAt = ::GetTickCount();
            stop = 1;
        });
        int result = -99;
        DWORD endedAt = 0;
        // Without the stop the update would end at its 5 s bound (or never, in a blocked send).
        const bool ended = EndsWithin(
            15000,
            [&] {
                result = UpdatePeerCastMetadata(kPeerCastHost, row.port, "ch", row.value, row.value, row.value, &stop);
                endedAt = ::GetTickCount();
            },
            [&] { deaf.Stop(); });
        stopper.join();
        EXPECT_TRUE(ended) << row.what;
        EXPECT_LT(endedAt - stoppedAt, 2000u) << row.what;
        if (row.stopAfterMs == 0) {
            EXPECT_EQ(result, 0) << row.what;
        }
    }
    answering.Stop();
    EXPECT_TRUE(answering.Connections().empty()) << "a stopped update connected";
}

}  // namespace
}  // namespace ombrel::test
