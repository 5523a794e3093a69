// PeerCast text under code page 932. This file is compiled with -fexec-charset=CP932: its
// narrow literals are cp932 bytes, so ア is 0x83 0x41 and あ is 0x82 0xA0.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "peercast/AnsiToUtf8.h"
#include "peercast/PeerCastMetadata.h"
#include "peercast/PeerCastUpdate.h"
#include "peercast/ResponseHead.h"
#include "peercast/UrlEncode.h"
#include "tests/common/StandInNode.h"
#include "tests/peercast/CodePageFixture.h"

namespace ombrel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

TEST_F(PeerCastCodePage, DoubleByteTextEncodesUnder932) {
    if (!Has(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    struct Row {
        const char* text;
        const char* ansi;  // UrlEncode: the code page's bytes
        const char* utf8;  // UrlEncodeUtf8: the UTF-8 bytes
    };
    const Row rows[] = {
        // the trail byte 41 is escaped although it is the letter A; the A after it stays
        {"アA", "%83%41A", "%E3%82%A2A"},
        // UTF-8 82 is a lead byte of 932, so the b after it is escaped as well
        {"あb", "%82%A0b", "%E3%81%82%62"},
        // a trail byte 5C is no backslash
        {"表", "%95%5C", "%E8%A1%A8"},
        // half-width katakana is one byte, never a lead byte
        {"ｱ1", "%B11", "%EF%BD%B11"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(UrlEncode(row.text), row.ansi) << "text " << row.ansi;
        EXPECT_EQ(UrlEncodeUtf8(row.text), row.utf8) << "text " << row.ansi;
    }
}

TEST_F(PeerCastCodePage, JapaneseRequestBytesUnder932) {
    if (!Has(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    StandInNode node(NodeBehaviour::AnswerAndClose);
    ASSERT_TRUE(node.listening());
    EXPECT_EQ(UpdatePeerCastMetadata(kPeerCastHost, node.port(), "あb", "", "アA", "あb"), 1);
    ASSERT_TRUE(node.WaitForConnections(1, 5000));
    RecordProperty("request", node.Connections()[0].request);  // in the XML report of the run
    // The channel goes as UTF-8; title and album as the code page's bytes.
    EXPECT_EQ(node.Connections()[0].request,
              "GET /admin?cmd=setmeta&name=%E3%81%82%62&t_artist=&t_title=%83%41A&t_album=%82%A0b HTTP/1.0\r\n\r\n");
}

// Through JSON-RPC every text goes as UTF-8: the channel found by its name, the track intact,
// and a byte that is no character a U+FFFD, never the ill-formed text the node refuses (-32700).
TEST_F(PeerCastCodePage, JapaneseTrackThroughJsonRpcUnder932) {
    if (!Has(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    StandInNode node(NodeBehaviour::JsonRpc);
    node.AddChannel("\xE3\x81\x82" "b");  // あb in UTF-8
    const PeerCastTrack track = {"あb", "\x82", "アA", "春"};
    EXPECT_EQ(UpdatePeerCastTrack(kPeerCastHost, node.port(), track, PeerCastInterface::Unknown, nullptr),
              PeerCastInterface::JsonRpc);
    node.Stop();
    ASSERT_EQ(node.Connections().size(), 3u);
    const nlohmann::json set = node.Channel("\xE3\x81\x82" "b")["track"];
    EXPECT_EQ(set["name"], "\xE3\x82\xA2" "A");
    EXPECT_EQ(set["creator"], "\xEF\xBF\xBD");
    EXPECT_EQ(set["album"], "\xE6\x98\xA5");
}

// A value cut to its first 1023 bytes keeps whole characters: 512 あ (1024 bytes) keep 511,
// not a lone lead byte; after one ASCII letter the 1023 bytes end on a character.
TEST_F(PeerCastCodePage, LongValuesAreCutBetweenCharactersUnder932) {
    if (!Has(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    std::string kana;
    std::string kept;
    for (int i = 0; i < 512; ++i) kana += "あ";
    for (int i = 0; i < 511; ++i) kept += "%82%A0";
    EXPECT_EQ(ComposePeerCastRequest("", ("a" + kana).c_str(), kana.c_str(), nullptr),
              "GET /admin?cmd=setmeta&name=&t_artist=a" + kept + "&t_title=" + kept + " HTTP/1.0\r\n\r\n");
}

// The JSON-RPC texts are UTF-8 whatever the bytes: what is no character of 932 becomes U+FFFD
// and the text goes on after it.
TEST_F(PeerCastCodePage, TextForJsonRpcIsUtf8Under932) {
    if (!Has(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    const struct {
        const char* text;
        const char* utf8;
    } rows[] = {
        {"アA表", "\xE3\x82\xA2" "A" "\xE8\xA1\xA8"},  // trail bytes 41 and 5C are no letters here
        {"ｱ1", "\xEF\xBD\xB1" "1"},                   // half-width katakana, one byte
        {"あ\x82", "\xE3\x81\x82" "\xEF\xBF\xBD"},      // a lead byte at the end
        {"\x82 b", "\xEF\xBF\xBD b"},                  // a lead byte before no trail byte
        {"", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(AnsiToUtf8(row.text), row.utf8) << row.utf8;
    EXPECT_EQ(AnsiToUtf8(nullptr), "");
}

// Lower-casing leaves double-byte characters alone, trail bytes that look like letters too.
TEST_F(PeerCastCodePage, HeaderNamesKeepDoubleByteCharactersUnder932) {
    if (!Has(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    EXPECT_EQ(LowerAnsi("X-アA"), "x-アa");
    EXPECT_EQ(LowerAnsi("ＡA"), "Ａa");

    StandInNode node(NodeBehaviour::AnswerAndClose, "HTTP/1.0 200 OK\r\nX-アA : 値\r\n\r\n");
    TcpConnection connection;
    connection.useTimeout = 1;
    connection.timeout = {5, 0};
    ASSERT_EQ(connection.Connect(kPeerCastHost, node.port()), 0);
    ASSERT_GT(connection.SendStringAll("GET / HTTP/1.0\r\n\r\n"), 0);
    std::string statusLine;
    HttpHeaderMap headers;
    EXPECT_EQ(ReadResponseHead(connection, statusLine, headers), 1);
    EXPECT_THAT(headers, ElementsAre(Pair("x-アa", "値")));
}

// A double-byte character counts as one character above every single byte: half-width ｱ (B1)
// comes before ア (83 41), though its byte is the larger.
TEST_F(PeerCastCodePage, HeaderOrderIsTheMultibyteOrderUnder932) {
    if (!Has(932)) GTEST_SKIP() << "needs code page 932, have " << GetACP();
    HttpHeaderMap headers;
    headers.emplace("ア", "double");
    headers.emplace("ｱ", "single");
    headers.emplace("z", "ascii");
    headers.emplace("アア", "longer");
    std::vector<std::string> names;
    for (const auto& entry : headers) names.push_back(entry.first);
    EXPECT_THAT(names, ElementsAre("z", "ｱ", "ア", "アア"));
}

}  // namespace
}  // namespace ombrel::test
