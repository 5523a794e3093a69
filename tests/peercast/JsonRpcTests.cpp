// The JSON-RPC side of the PeerCast update that needs no JSON-RPC node: the bodies it writes
// from a getChannels answer, and whole answers read over real loopback connections.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "peercast/ChannelInfoRpc.h"
#include "peercast/HttpReply.h"
#include "peercast/JsonRpcExchange.h"
#include "tests/common/Loopback.h"
#include "tests/common/StandInNode.h"
#include "tests/common/Stopwatch.h"

namespace ombrel::test {
namespace {

using nlohmann::json;

const TrackUtf8 kTrack = {"T\xE3\x82\xA2", "A", "B"};  // the title ends in ア

// Two channels as peercast-yt lists them, the second the plug-in's.
const char kChannels[] = R"({"jsonrpc":"2.0","id":1,"result":[
  {"channelId":"AAAA","info":{"name":"other","desc":"","genre":"","url":"","comment":"","bitrate":64},
   "track":{"name":"","creator":"","album":"","genre":"","url":""}},
  {"channelId":"BBBB","status":{"status":"Receiving"},
   "info":{"name":"ch","desc":"d","genre":"g","url":"http://u/","comment":"c","bitrate":192,"contentType":"WMV","mimeType":"video/x-ms-asf"},
   "track":{"name":"old","creator":"old","album":"old","genre":"tg","url":"http://t/"},"yellowPages":[]}]})";

TEST(JsonRpcBodies, GetChannelsAndTheSetChannelInfoForTheNamedChannel) {
    EXPECT_EQ(ComposeGetChannels(), R"({"id":1,"jsonrpc":"2.0","method":"getChannels"})");

    std::string body;
    ASSERT_EQ(ComposeSetChannelInfo(kChannels, "ch", kTrack, body), RpcAnswer::Result);
    // The channel's own info without what the node reports only (bit rate, types); the track's
    // genre and url kept, the rest the plug-in's.
    EXPECT_EQ(body,
              R"({"id":2,"jsonrpc":"2.0","method":"setChannelInfo","params":{"channelId":"BBBB",)"
              R"("info":{"comment":"c","desc":"d","genre":"g","name":"ch","url":"http://u/"},)"
              R"("track":{"album":"B","creator":"A","genre":"tg","name":"T)" "\xE3\x82\xA2" R"(","url":"http://t/"}}})");
    const json sent = json::parse(body, nullptr, false);
    ASSERT_FALSE(sent.is_discarded()) << body;
    EXPECT_EQ(sent["params"]["track"]["name"], "T\xE3\x82\xA2");
    EXPECT_EQ(sent["params"]["channelId"], "BBBB");
    EXPECT_EQ(sent["params"]["info"].size(), 5u);
}

TEST(JsonRpcBodies, AnswersThatFindNothingOrAreNoJsonRpc) {
    const struct {
        const char* what;
        const char* answer;
        RpcAnswer expected;
    } rows[] = {
        {"no channel of the name", R"({"jsonrpc":"2.0","id":1,"result":[{"channelId":"A","info":{"name":"x"}}]})",
         RpcAnswer::Result},
        {"no channels", R"({"jsonrpc":"2.0","id":1,"result":[]})", RpcAnswer::Result},
        // entries of the wrong shape are passed over, never read as something else
        {"a name that is no string", R"({"result":[{"channelId":"A","info":{"name":7}}, 3, null]})", RpcAnswer::Result},
        {"an id that is no string", R"({"result":[{"channelId":5,"info":{"name":"ch"}}]})", RpcAnswer::Result},
        {"info that is no object", R"({"result":[{"channelId":"A","info":"ch"}]})", RpcAnswer::Result},
        {"an error", R"({"jsonrpc":"2.0","id":1,"error":{"code":-32601,"message":"Method not found"}})",
         RpcAnswer::Error},
        {"a result that is no list", R"({"jsonrpc":"2.0","id":1,"result":{"ch":1}})", RpcAnswer::Malformed},
        {"garbage", "<html>400 Bad Request</html>", RpcAnswer::Malformed},
        {"cut short", std::string(kChannels).substr(0, 200).c_str(), RpcAnswer::Malformed},
        {"a list, not an object", "[1,2]", RpcAnswer::Malformed},
        {"empty", "", RpcAnswer::Malformed},
        {"cp932 bytes in a string", "{\"result\":[{\"channelId\":\"A\",\"info\":{\"name\":\"\x83\x41\"}}]}",
         RpcAnswer::Malformed},
    };
    for (const auto& row : rows) {
        std::string body = "left over";
        EXPECT_EQ(ComposeSetChannelInfo(row.answer, "ch", kTrack, body), row.expected) << row.what;
        EXPECT_EQ(body, "") << row.what;
    }
    EXPECT_EQ(ClassifyRpcAnswer(R"({"jsonrpc":"2.0","id":2,"result":null})"), RpcAnswer::Result);
    EXPECT_EQ(ClassifyRpcAnswer(R"({"jsonrpc":"2.0","id":2,"error":{"code":-32603}})"), RpcAnswer::Error);
    EXPECT_EQ(ClassifyRpcAnswer("{\"jsonrpc\":\"2.0\",\"result\""), RpcAnswer::Malformed);
}

// Whatever the texts hold, the body is well-formed JSON: ill-formed UTF-8 (which AnsiToUtf8
// never makes) is replaced, quotes and controls are escaped, and a missing text of the node's
// is left out rather than sent empty.
TEST(JsonRpcBodies, TheBodyIsWellFormedWhateverTheTexts) {
    const TrackUtf8 hostile = {"\"}]\\\r\n\x01", "\xFF\xFE", "\xE3\x82"};
    std::string body;
    ASSERT_EQ(ComposeSetChannelInfo(R"({"result":[{"channelId":"A","info":{"name":"ch","desc":1}}]})", "ch",
                                    hostile, body),
              RpcAnswer::Result);
    const json sent = json::parse(body, nullptr, false);
    ASSERT_FALSE(sent.is_discarded()) << body;
    EXPECT_EQ(sent["params"]["track"]["name"], "\"}]\\\r\n\x01");
    EXPECT_EQ(sent["params"]["track"]["creator"], "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(sent["params"]["info"], json({{"name", "ch"}}));
    EXPECT_FALSE(sent["params"]["track"].contains("genre"));
}

TEST(JsonRpcPost, RequestBytes) {
    EXPECT_EQ(ComposeJsonRpcPost("127.0.0.1", 7144, "{}"),
              "POST /api/1 HTTP/1.0\r\nHost: 127.0.0.1:7144\r\nContent-Type: application/json\r\n"
              "X-Requested-With: XMLHttpRequest\r\nContent-Length: 2\r\n\r\n{}");
}

// Whole answers from a node that sends them and closes (or, for the last rows, stays silent).
TEST(HttpReplyTest, WholeShortAndOversizedAnswers) {
    const std::string big(kMaxPeerCastReplyBytes, 'x');
    const struct {
        const char* what;
        std::string answer;
        NodeBehaviour behaviour;
        int result;
        int status;
        std::string body;
    } rows[] = {
        {"a length", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", NodeBehaviour::AnswerAndClose, 1, 200,
         "hello"},
        {"a length, bytes after it", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nhello",
         NodeBehaviour::AnswerAndClose, 1, 200, "he"},
        {"a length, kept open", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello", NodeBehaviour::AnswerAndKeepOpen,
         1, 200, "hello"},
        {"no length, until the close", "HTTP/1.0 400 Bad Request\nServer: x\n\n{\"a\":1}",
         NodeBehaviour::AnswerAndClose, 1, 400, "{\"a\":1}"},
        {"one byte per send", "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc", NodeBehaviour::OneBytePerChunk, 1,
         200, "abc"},
        {"a body cut short", "HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nhello", NodeBehaviour::AnswerAndClose, 0,
         200, "hello"},
        {"a length that is no number", "HTTP/1.0 200 OK\r\nContent-Length: 5x\r\n\r\nhello",
         NodeBehaviour::AnswerAndClose, 0, 200, ""},
        {"a length over the limit", "HTTP/1.0 200 OK\r\nContent-Length: 262145\r\n\r\nhello",
         NodeBehaviour::AnswerAndClose, 0, 200, ""},
        {"a body over the limit", "HTTP/1.0 200 OK\r\n\r\n" + big, NodeBehaviour::AnswerAndClose, 0, 200, ""},
        {"a head that never ends", "HTTP/1.0 200 OK\r\n", NodeBehaviour::EndlessHead, 0, 0, ""},
        {"no status line", "hello\r\n\r\n", NodeBehaviour::AnswerAndClose, 1, 0, ""},
        // An old PeerCast build's list: doubled colons, and a length that is not its body's.
        {"closed after a length too short", "HTTP/1.0 200 OK\r\nContent-Length:: 3\r\nConnection: close\r\n\r\nhello",
         NodeBehaviour::AnswerAndClose, 1, 200, "hello"},
        {"closed before a length too long", "HTTP/1.0 200 OK\r\nContent-Length:: 9\r\nConnection: Close\r\n\r\nhello",
         NodeBehaviour::AnswerAndClose, 1, 200, "hello"},
        {"a redirect to a POST", "HTTP/1.0 302 Found\r\nLocation: /html/en/index.html\r\n\r\n",
         NodeBehaviour::AnswerAndClose, 1, 302, ""},
    };
    for (const auto& row : rows) {
        StandInNode node(row.behaviour, row.answer);
        ASSERT_TRUE(node.listening());
        TcpConnection connection;
        connection.useTimeout = 1;
        connection.timeout = {5, 0};
        ASSERT_EQ(connection.Connect("127.0.0.1", node.port()), 0);
        ASSERT_GT(connection.SendStringAll("GET / HTTP/1.0\r\n\r\n"), 0);
        HttpReply reply;
        Stopwatch watch;
        EXPECT_EQ(ReadHttpReply(connection, reply), row.result) << row.what;
        EXPECT_LT(watch.ms(), 4000u) << row.what;
        if (row.result == 1 || row.what == std::string("a body cut short")) {
            EXPECT_EQ(reply.status, row.status) << row.what;
            EXPECT_EQ(reply.body, row.body) << row.what;
        }
        connection.Close();
    }
}

}  // namespace
}  // namespace ombrel::test
