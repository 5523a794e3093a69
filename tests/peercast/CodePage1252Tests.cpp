// PeerCast text under code page 1252. This file is compiled with -fexec-charset=CP1252: its
// narrow literals are cp1252 bytes, so é is the single byte 0xE9.
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

TEST_F(PeerCastCodePage, LatinTextEncodesUnder1252) {
    if (!Has(1252)) GTEST_SKIP() << "needs code page 1252, have " << GetACP();
    struct Row {
        const char* text;
        const char* ansi;  // UrlEncode: the code page's bytes
        const char* utf8;  // UrlEncodeUtf8: the UTF-8 bytes
    };
    const Row rows[] = {
        {"é", "%E9", "%C3%A9"},                // one accented letter
        {"Café", "Caf%E9", "Caf%C3%A9"},       // the worked example
        {"Ü ß", "%DC+%DF", "%C3%9C+%C3%9F"},   // no letters above 127, space still a plus
        {"€", "%80", "%E2%82%AC"},             // cp1252's euro sign, three UTF-8 bytes
    };
    for (const Row& row : rows) {
        EXPECT_EQ(UrlEncode(row.text), row.ansi) << "text " << row.ansi;
        EXPECT_EQ(UrlEncodeUtf8(row.text), row.utf8) << "text " << row.ansi;
    }
    // The JSON-RPC texts: the same characters as UTF-8 bytes.
    EXPECT_EQ(AnsiToUtf8("Café Ü €"), "Caf\xC3\xA9 \xC3\x9C \xE2\x82\xAC");
}

TEST_F(PeerCastCodePage, CafeRequestBytesUnder1252) {
    if (!Has(1252)) GTEST_SKIP() << "needs code page 1252, have " << GetACP();
    StandInNode node(NodeBehaviour::AnswerAndClose);
    ASSERT_TRUE(node.listening());
    EXPECT_EQ(UpdatePeerCastMetadata(kPeerCastHost, node.port(), "Café", "", "Café", ""), 1);
    ASSERT_TRUE(node.WaitForConnections(1, 5000));
    RecordProperty("request", node.Connections()[0].request);  // in the XML report of the run
    // The channel goes as UTF-8, the title as the code page's byte.
    EXPECT_EQ(node.Connections()[0].request,
              "GET /admin?cmd=setmeta&name=Caf%C3%A9&t_artist=&t_title=Caf%E9&t_album= HTTP/1.0\r\n\r\n");

    // A JSON-RPC node gets every text as UTF-8.
    StandInNode rpc(NodeBehaviour::JsonRpc);
    rpc.AddChannel("Caf\xC3\xA9");
    const PeerCastTrack track = {"Café", "", "Café €", ""};
    EXPECT_EQ(UpdatePeerCastTrack(kPeerCastHost, rpc.port(), track, PeerCastInterface::Unknown, nullptr),
              PeerCastInterface::JsonRpc);
    rpc.Stop();
    EXPECT_EQ(rpc.Channel("Caf\xC3\xA9")["track"]["name"], "Caf\xC3\xA9 \xE2\x82\xAC");
}

TEST_F(PeerCastCodePage, HeaderNamesLowerCaseCodePageLettersUnder1252) {
    if (!Has(1252)) GTEST_SKIP() << "needs code page 1252, have " << GetACP();
    EXPECT_EQ(LowerAnsi("X-ÉTÉ"), "x-été");
    EXPECT_EQ(LowerAnsi("ÀÖØÞ"), "àöøþ");
}

// Without double-byte characters the multibyte order is the order of the bytes: ± (B1) after
// ƒA (83 41), the other way round from code page 932.
TEST_F(PeerCastCodePage, HeaderOrderIsByteOrderUnder1252) {
    if (!Has(1252)) GTEST_SKIP() << "needs code page 1252, have " << GetACP();
    HttpHeaderMap headers;
    headers.emplace("b", "");
    headers.emplace("±", "");
    headers.emplace("ƒA", "");
    headers.emplace("a", "");
    std::vector<std::string> names;
    for (const auto& entry : headers) names.push_back(entry.first);
    EXPECT_THAT(names, ElementsAre("a", "b", "ƒA", "±"));
}

}  // namespace
}  // namespace ombrel::test
