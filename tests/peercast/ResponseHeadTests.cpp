// ReadResponseHead against the stand-in node over real loopback connections.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "peercast/ResponseHead.h"
#include "tests/common/StandInNode.h"
#include "tests/common/Stopwatch.h"
#include "tests/peercast/NodeClient.h"

namespace ombrel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

class ResponseHeadTest : public ::testing::Test {
protected:
    // Connects to the node with the given wait bound, sends a request, reads the head.
    HeadResult Read(StandInNode& node, long timeoutSeconds = 5) {
        HeadResult head;
        EXPECT_TRUE(node.listening());
        connection_.useTimeout = 1;
        connection_.timeout = {timeoutSeconds, 0};
        if (connection_.Connect("127.0.0.1", node.port()) != 0) {
            ADD_FAILURE() << "no connection to the node";
            return head;
        }
        EXPECT_GT(connection_.SendStringAll("GET / HTTP/1.0\r\n\r\n"), 0);
        Stopwatch watch;
        head.result = ReadResponseHead(connection_, head.statusLine, head.headers);
        elapsedMs_ = watch.ms();
        connection_.Close();
        return head;
    }

    CountingConnection connection_;
    DWORD elapsedMs_ = 0;
};

// A well-formed head parses alike however it arrives.
TEST_F(ResponseHeadTest, NormalHeadInEveryDelivery) {
    struct Row {
        const char* what;
        NodeBehaviour behaviour;
        const char* head;
    };
    const Row rows[] = {
        {"one chunk, then close", NodeBehaviour::AnswerAndClose, kNodeHead},
        {"one byte per chunk", NodeBehaviour::OneBytePerChunk, kNodeHead},
        {"line feeds alone", NodeBehaviour::AnswerAndClose, kNodeHeadLf},
        {"kept open after the head", NodeBehaviour::AnswerAndKeepOpen, kNodeHead},
    };
    for (const Row& row : rows) {
        StandInNode node(row.behaviour, row.head);
        connection_.results.clear();
        const HeadResult head = Read(node);
        EXPECT_EQ(head.result, 1) << row.what;
        EXPECT_EQ(head.statusLine, "HTTP/1.0 200 OK") << row.what;
        EXPECT_THAT(head.headers, ElementsAre(Pair("content-type", "text/html"), Pair("server", "PeerCast/0.1218")))
            << row.what;
        EXPECT_LT(elapsedMs_, 3000u) << row.what << ": waited for the bound";
        if (row.behaviour == NodeBehaviour::OneBytePerChunk) {
            EXPECT_GT(connection_.results.size(), 10u) << "the head did not arrive in pieces";
        }
    }
}

TEST_F(ResponseHeadTest, KeptOpenConnectionReturnsAtTheEmptyLine) {
    StandInNode node(NodeBehaviour::AnswerAndKeepOpen);
    const HeadResult head = Read(node);
    EXPECT_EQ(head.result, 1);
    EXPECT_LT(elapsedMs_, 3000u) << "the 5 s bound is not to be waited for";
    ASSERT_TRUE(node.WaitForConnections(1, 3000));
    EXPECT_TRUE(node.Connections()[0].clientClosed);
}

TEST_F(ResponseHeadTest, PeerClosingAfterStatusLineGivesZeroWithTheStatusLine) {
    StandInNode node(NodeBehaviour::CloseAfterStatusLine);
    const HeadResult head = Read(node);
    EXPECT_EQ(head.result, 0);
    EXPECT_EQ(head.statusLine, "HTTP/1.0 200 OK");
    EXPECT_TRUE(head.headers.empty()) << head.headers.size() << " headers";
}

TEST_F(ResponseHeadTest, SilentPeerGivesZeroAtTheConnectionsBound) {
    StandInNode node(NodeBehaviour::NeverAnswer);
    const HeadResult head = Read(node, 1);
    EXPECT_EQ(head.result, 0);
    EXPECT_EQ(head.statusLine, "");
    EXPECT_GE(elapsedMs_, 800u);
    EXPECT_LT(elapsedMs_, 5000u);
    EXPECT_THAT(connection_.results, ElementsAre(-3));
}

// A head without an end is given up after 64 KiB instead of growing without bound.
TEST_F(ResponseHeadTest, EndlessHeadStopsAt64KiB) {
    StandInNode node(NodeBehaviour::EndlessHead);
    const HeadResult head = Read(node);
    EXPECT_EQ(head.result, 0);
    EXPECT_EQ(head.statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(head.headers.count("x-filler"), 1u);
    EXPECT_GE(connection_.bytes, kMaxResponseHeadBytes);
    EXPECT_LT(connection_.bytes, kMaxResponseHeadBytes + kResponseChunkSize);
    EXPECT_LT(elapsedMs_, 5000u);
}

// Header lines as a node might write them.
TEST_F(ResponseHeadTest, HeaderLineParsing) {
    struct Row {
        const char* what;
        const char* head;
        const char* statusLine;
        std::vector<std::pair<std::string, std::string>> headers;
    };
    const std::vector<Row> rows = {
        {"spaces around the name and the value",
         "HTTP/1.0 200 OK\r\nContent-Type : text/html \r\n\r\n", "HTTP/1.0 200 OK", {{"content-type", "text/html"}}},
        {"the first of a repeated name wins",
         "HTTP/1.0 200 OK\r\nServer: first\r\nSERVER: second\r\n\r\n", "HTTP/1.0 200 OK", {{"server", "first"}}},
        {"a line without a colon is ignored",
         "HTTP/1.0 200 OK\r\nno colon here\r\nA: 1\r\n\r\n", "HTTP/1.0 200 OK", {{"a", "1"}}},
        {"only the first colon splits",
         "HTTP/1.0 200 OK\r\nLocation: http://x:1/\r\n\r\n", "HTTP/1.0 200 OK", {{"location", "http://x:1/"}}},
        {"only spaces are trimmed; a folded line is a line of its own",
         "HTTP/1.0 200 OK\r\nA:\tv\t\r\n  Folded : x\r\n\r\n", "HTTP/1.0 200 OK", {{"a", "\tv\t"}, {"folded", "x"}}},
        {"a doubled colon still names the field (old PeerCast builds)",
         "HTTP/1.0 200 OK\r\nContent-Length:: 233\r\nServer:: PeerCast/0.1218\r\nServer: PeerCast/0.1218\r\n\r\n",
         "HTTP/1.0 200 OK", {{"content-length", "233"}, {"server", "PeerCast/0.1218"}}},
        {"an empty value",
         "HTTP/1.0 404 Not Found\r\nX-Empty:\r\n\r\n", "HTTP/1.0 404 Not Found", {{"x-empty", ""}}},
        {"every CR at a line's end goes",
         "ICY 200 OK\r\r\nA: b\r\r\n\r\r\n", "ICY 200 OK", {{"a", "b"}}},
        {"what follows the empty line is not read as headers",
         "HTTP/1.0 200 OK\r\n\r\nBody: text\r\n\r\n", "HTTP/1.0 200 OK", {}},
        {"names are ordered, not kept in arrival order",
         "HTTP/1.0 200 OK\r\nZeta: 1\r\nalpha: 2\r\nMid: 3\r\n\r\n", "HTTP/1.0 200 OK",
         {{"alpha", "2"}, {"mid", "3"}, {"zeta", "1"}}},
    };
    for (const Row& row : rows) {
        StandInNode node(NodeBehaviour::AnswerAndClose, row.head);
        const HeadResult head = Read(node);
        EXPECT_EQ(head.result, 1) << row.what;
        EXPECT_EQ(head.statusLine, row.statusLine) << row.what;
        const std::vector<std::pair<std::string, std::string>> got(head.headers.begin(), head.headers.end());
        EXPECT_EQ(got, row.headers) << row.what;
    }
}

TEST_F(ResponseHeadTest, HeadersAreAddedToWhatTheMapHeld) {
    StandInNode node(NodeBehaviour::AnswerAndClose, "HTTP/1.0 200 OK\r\nServer: node\r\nKept: new\r\n\r\n");
    ASSERT_EQ(connection_.Connect("127.0.0.1", node.port()), 0);
    ASSERT_GT(connection_.SendStringAll("GET / HTTP/1.0\r\n\r\n"), 0);
    std::string statusLine;
    HttpHeaderMap headers = {{"kept", "old"}};
    EXPECT_EQ(ReadResponseHead(connection_, statusLine, headers), 1);
    EXPECT_THAT(headers, ElementsAre(Pair("kept", "old"), Pair("server", "node")));
}

}  // namespace
}  // namespace ombrel::test
