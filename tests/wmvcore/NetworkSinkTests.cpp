// The network sink on real loopback sockets: describe and play requests, the chunk framing,
// the listener limit and count, a listener that never reads or that leaves, packets that cost
// the writer's thread no allocation, where a new listener joins and where its stream time
// begins, what a client that is not a Windows Media player gets, bad requests and bytes that
// are not HTTP, and a busy port.
#include <winsock.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "standin/wmvcore/ChunkFraming.h"
#include "standin/wmvcore/HttpRequest.h"
#include "tests/common/Loopback.h"
#include "tests/common/PlayRequest.h"
#include "tests/common/StreamChunks.h"
#include "tests/wmvcore/AllocationCounter.h"
#include "tests/wmvcore/NetworkSinkFixture.h"

namespace ombrel::test {
namespace {

using namespace wmstandin;

class Winsock : public ::testing::Environment {
public:
    void SetUp() override {
        WSADATA wsa;
        ASSERT_EQ(::WSAStartup(MAKEWORD(1, 1), &wsa), 0);
    }
    void TearDown() override { ::WSACleanup(); }
};
[[maybe_unused]] ::testing::Environment* const kWinsock = ::testing::AddGlobalTestEnvironment(new Winsock);

TEST_F(NetworkSinkTest, DescribeGetsTheHeaderChunkOnlyAndIsNotCounted) {
    auto s = ConnectLoopback(port_);
    ASSERT_TRUE(s);
    ASSERT_TRUE(SendText(s.get(), kDescribeRequest));
    const std::string response = Receive(s.get());
    EXPECT_EQ(response.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << response.substr(0, 80);
    EXPECT_NE(HeadOf(response).find("Content-Type: application/x-mms-framed\r\n"), std::string::npos);
    std::vector<Chunk> chunks;
    ASSERT_TRUE(SplitChunks(BodyOf(response), &chunks, false));
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].type, 'H');
    EXPECT_EQ(chunks[0].length, 708u) << "payload + 8";
    EXPECT_EQ(chunks[0].lengthAgain, 708u);
    EXPECT_EQ(chunks[0].payload, std::string(header_.begin(), header_.end()));
    EXPECT_EQ(Count(), 0u);
}

TEST_F(NetworkSinkTest, PlayGetsTheHeaderThenLivePacketsFromNow) {
    SendPacket(Packet(3200, 99));  // before the listener: not sent to it
    auto s = ConnectLoopback(port_);
    ASSERT_TRUE(s);
    ASSERT_TRUE(SendText(s.get(), kPlayRequest));
    ASSERT_TRUE(WaitForCount(1)) << "counted once its request is read";
    for (int i = 0; i < 3; ++i) SendPacket(Packet(3200, i));
    const std::string response = Receive(s.get(), 200 + 712 + 3 * 3212, 3000);
    std::vector<Chunk> chunks;
    ASSERT_TRUE(SplitChunks(BodyOf(response), &chunks, true));
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].type, 'H');
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(chunks[1 + i].type, 'D');
        EXPECT_EQ(chunks[1 + i].length, 3208u);
        EXPECT_EQ(chunks[1 + i].lengthAgain, 3208u);
        EXPECT_EQ(chunks[1 + i].location, chunks[1].location + i) << "locations count packets";
        const auto expected = Packet(3200, i);
        EXPECT_EQ(chunks[1 + i].payload, std::string(expected.begin(), expected.end()));
    }
    s.reset();
    EXPECT_TRUE(WaitForCount(0)) << "a disconnect is counted at once";
}

TEST_F(NetworkSinkTest, AListenerAfterOneThatLeftGetsOnlyItsOwnStream) {
    // The first leaves with much still queued for it; the next may reuse that queue.
    auto first = Listen(4096);
    ASSERT_TRUE(first);
    ASSERT_TRUE(WaitForCount(1));
    for (int i = 0; i < 100; ++i) SendPacket(Packet(3200, 50));
    first.reset();
    ASSERT_TRUE(WaitForCount(0));
    auto next = Listen();
    ASSERT_TRUE(next);
    ASSERT_TRUE(WaitForCount(1));
    for (int i = 0; i < 3; ++i) SendPacket(Packet(3200, i));
    const std::string response = Receive(next.get(), 200 + 712 + 3 * 3212, 3000);
    std::vector<Chunk> chunks;
    ASSERT_TRUE(SplitChunks(BodyOf(response), &chunks, true));
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].type, 'H');
    for (int i = 0; i < 3; ++i) {
        const auto expected = Packet(3200, i);
        EXPECT_EQ(chunks[1 + i].type, 'D');
        EXPECT_EQ(chunks[1 + i].payload, std::string(expected.begin(), expected.end())) << "packet " << i;
    }
}

TEST_F(NetworkSinkTest, EndOfWritingSendsTheEndChunkAndCloses) {
    auto s = Listen();
    ASSERT_TRUE(s);
    ASSERT_TRUE(WaitForCount(1));
    SendPacket(Packet(3200, 5));
    ASSERT_EQ(sink_->OnEndWriting(), S_OK);
    EXPECT_EQ(Count(), 0u);
    const std::string response = Receive(s.get());
    std::vector<Chunk> chunks;
    ASSERT_TRUE(SplitChunks(BodyOf(response), &chunks, false));
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[1].type, 'D');
    EXPECT_EQ(chunks[2].type, 'E');
}

TEST_F(NetworkSinkTest, ListenersBeyondTheLimitAreRefusedAndNotCounted) {
    auto a = ConnectLoopback(port_);
    auto b = ConnectLoopback(port_);
    ASSERT_TRUE(SendText(a.get(), kPlayRequest));
    ASSERT_TRUE(SendText(b.get(), kPlayRequest));
    ASSERT_TRUE(WaitForCount(2));
    auto c = Listen();
    ASSERT_TRUE(c);
    const std::string refused = Receive(c.get());
    EXPECT_EQ(refused.rfind("HTTP/1.0 503", 0), 0u) << refused;
    EXPECT_EQ(Count(), 2u);
    a.reset();
    ASSERT_TRUE(WaitForCount(1));
    auto d = Listen();
    ASSERT_TRUE(d);
    EXPECT_TRUE(WaitForCount(2)) << "a freed place is taken again";
}

TEST_F(NetworkSinkTest, AListenerThatNeverReadsIsDroppedWithoutBlockingTheWriter) {
    auto s = Listen(4096);
    ASSERT_TRUE(s);
    ASSERT_TRUE(WaitForCount(1));
    const auto packet = Packet(3200, 7);
    DWORD slowest = 0;
    int sent = 0;
    // At most 64 MB: far beyond the queue and every socket buffer.
    for (; sent < 20000 && Count() == 1; ++sent) {
        const DWORD start = ::GetTickCount();
        SendPacket(packet);
        slowest = std::max(slowest, ::GetTickCount() - start);
    }
    EXPECT_EQ(Count(), 0u) << "dropped after " << sent << " packets";
    EXPECT_LT(slowest, 100u) << "OnDataUnit never waits for a listener";
    // The connection really is closed by the sink.
    std::string rest = Receive(s.get(), SIZE_MAX, 10000);
    char byte;
    EXPECT_EQ(::recv(s.get(), &byte, 1, 0), 0) << "closed after " << rest.size() << " bytes";
}

TEST_F(NetworkSinkTest, PacketsForStreamingListenersAllocateNothingOnTheWritersThread) {
    auto reading = Listen();
    auto idle = Listen(4096);
    ASSERT_TRUE(reading);
    ASSERT_TRUE(idle);
    ASSERT_TRUE(WaitForCount(2));
    // Well within a listener's queue, so the idle one stays too.
    constexpr int kPackets = 200;
    std::vector<std::unique_ptr<TestBuffer>> units;
    for (int i = 0; i < kPackets; ++i) units.push_back(std::make_unique<TestBuffer>(Packet(3200, i)));
    int failed = 0;
    long allocations = 0;
    {
        AllocationCounter counter;
        for (auto& unit : units) failed += FAILED(sink_->OnDataUnit(unit.get()));
        allocations = counter.Count();
    }
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(allocations, 0) << "OnDataUnit runs on the plug-in's audio thread";
    EXPECT_EQ(Count(), 2u);
    const size_t body = 12 + header_.size() + kPackets * 3212;  // the header chunk, then the data chunks
    std::string response;
    const DWORD start = ::GetTickCount();
    while (BodyOf(response).size() < body && ::GetTickCount() - start < 5000)
        response += Receive(reading.get(), SIZE_MAX, 100);
    std::vector<Chunk> chunks;
    ASSERT_TRUE(SplitChunks(BodyOf(response), &chunks, false));
    ASSERT_EQ(chunks.size(), 1u + kPackets);
    for (int i = 0; i < kPackets; ++i) {
        const auto expected = Packet(3200, i);
        EXPECT_EQ(chunks[1 + i].payload, std::string(expected.begin(), expected.end())) << "packet " << i;
    }
}

TEST_F(NetworkSinkTest, GarbageGetsA400AndAClose) {
    const char* cases[] = {
        "HELLO\r\n\r\n",                                  // no method, path, version
        "POST / HTTP/1.0\r\n\r\n",                         // not GET
        "GET / HTTP/1.0\r\nno colon here\r\n\r\n",         // a header line without a name
        "GET / HTTP/1.0\r\nPragma: x\x01y\r\n\r\n",        // a control character
    };
    for (const char* request : cases) {
        auto s = ConnectLoopback(port_);
        ASSERT_TRUE(SendText(s.get(), request));
        const std::string response = Receive(s.get());
        EXPECT_EQ(response.rfind("HTTP/1.0 400", 0), 0u) << request;
    }
    // A head with no end, beyond the bound.
    auto s = ConnectLoopback(port_);
    ASSERT_TRUE(SendText(s.get(), "GET / HTTP/1.0\r\n" + std::string(kMaxRequestHead, 'a')));
    EXPECT_EQ(Receive(s.get()).rfind("HTTP/1.0 400", 0), 0u);
    EXPECT_EQ(Count(), 0u);
}

// One payload of a data packet: a stream's media object, where the piece begins in it and how
// many of its bytes the piece holds. The bytes depend on the object and the offset only.
struct Piece {
    BYTE object;
    DWORD offset;
    DWORD bytes;
    DWORD time = 0;  // presentation time, ms
};
constexpr DWORD kObjectSize = 1114;

// A data packet of `size` bytes with several payloads of stream 1 and a WORD padding length, as
// the runtime's multiplexer writes them.
std::vector<BYTE> PacketOf(const std::vector<Piece>& pieces, size_t size, DWORD sendTime = 0) {
    std::vector<BYTE> p = {0x82, 0, 0, 0x11, 0x5D, 0, 0};
    auto u32 = [&p](DWORD v) { for (int i = 0; i < 4; ++i) p.push_back(static_cast<BYTE>(v >> (8 * i))); };
    u32(sendTime);
    p.insert(p.end(), {0, 0, static_cast<BYTE>(0x80 | pieces.size())});
    for (const Piece& piece : pieces) {
        p.push_back(0x81);
        p.push_back(piece.object);
        u32(piece.offset);
        p.push_back(8);
        u32(kObjectSize);
        u32(piece.time);
        p.push_back(static_cast<BYTE>(piece.bytes));
        p.push_back(static_cast<BYTE>(piece.bytes >> 8));
        for (DWORD i = 0; i < piece.bytes; ++i) p.push_back(static_cast<BYTE>(piece.object * 31 + piece.offset + i));
    }
    const size_t padding = size - p.size();
    p[5] = static_cast<BYTE>(padding);
    p[6] = static_cast<BYTE>(padding >> 8);
    p.resize(size, 0);
    return p;
}

// A listener that started inside a split object would get its tail first, which players report
// as a broken fragment: a new listener starts at a payload boundary.
TEST_F(NetworkSinkTest, ANewListenerStartsAtAPayloadBoundary) {
    auto s = Listen();
    ASSERT_TRUE(s);
    ASSERT_TRUE(WaitForCount(1));
    const auto tailOnly = PacketOf({{7, 900, 214}}, 3200);
    const auto mixed = PacketOf({{8, 500, 614}, {9, 0, kObjectSize}, {10, 0, 700}}, 3200);
    const auto next = PacketOf({{10, 700, 414}, {11, 0, kObjectSize}}, 3200);
    SendPacket(tailOnly);
    SendPacket(mixed);
    SendPacket(next);
    const std::string response = Receive(s.get(), sizeof kStreamingResponse - 1 + 712 + 2 * 3212, 3000);
    std::vector<Chunk> chunks;
    ASSERT_TRUE(SplitChunks(BodyOf(response), &chunks, true));
    ASSERT_EQ(chunks.size(), 3u) << "the header, then two data packets";
    // Nothing of the tail-only packet can start a stream; of the next, the tail is left out and
    // its room becomes padding; from then on the packets are passed on as they are.
    const auto joined = PacketOf({{9, 0, kObjectSize}, {10, 0, 700}}, 3200);
    EXPECT_EQ(chunks[1].payload, std::string(joined.begin(), joined.end()));
    EXPECT_EQ(chunks[2].payload, std::string(next.begin(), next.end()));
    EXPECT_EQ(chunks[2].location, chunks[1].location + 1u) << "locations still count the writer's packets";
}

// Each listener's stream begins at 0, as a file does, whenever it joins: players read the
// times they get as their position, and one that plays for a set time would otherwise stop at
// once when it joins a broadcast that has run longer than that.
TEST_F(NetworkSinkTest, AListenerWhoJoinsLateGetsItsOwnStreamTimeFromZero) {
    auto early = Listen();
    ASSERT_TRUE(early);
    ASSERT_TRUE(WaitForCount(1));
    const auto first = PacketOf({{1, 0, kObjectSize, 5000}}, 3200, 0);
    SendPacket(first);
    auto late = Listen();
    ASSERT_TRUE(late);
    ASSERT_TRUE(WaitForCount(2));
    const std::vector<std::vector<BYTE>> sent = {
        PacketOf({{7, 900, 214, 24000}, {8, 0, kObjectSize, 25000}}, 3200, 20000),
        PacketOf({{9, 0, kObjectSize, 25139}, {10, 0, 600, 25200}}, 3200, 20139),
        PacketOf({{11, 0, kObjectSize, 19000}}, 3200, 19500)};  // behind the first: at 0, not wrapped
    for (const auto& packet : sent) SendPacket(packet);
    const size_t head = sizeof kStreamingResponse - 1 + 712;
    std::vector<Chunk> chunks;
    ASSERT_TRUE(SplitChunks(BodyOf(Receive(early.get(), head + 4 * 3212, 3000)), &chunks, true));
    ASSERT_EQ(chunks.size(), 5u);
    for (size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(chunks[2 + i].payload, std::string(sent[i].begin(), sent[i].end())) << "from the start: as written";
    chunks.clear();
    ASSERT_TRUE(SplitChunks(BodyOf(Receive(late.get(), head + 3 * 3212, 3000)), &chunks, true));
    ASSERT_EQ(chunks.size(), 4u);
    const std::vector<std::vector<BYTE>> expected = {
        PacketOf({{8, 0, kObjectSize, 5000}}, 3200, 0),
        PacketOf({{9, 0, kObjectSize, 5139}, {10, 0, 600, 5200}}, 3200, 139),
        PacketOf({{11, 0, kObjectSize, 0}}, 3200, 0)};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(chunks[1 + i].payload, std::string(expected[i].begin(), expected[i].end())) << "packet " << i;
        EXPECT_EQ(chunks[1 + i].location, chunks[1].location + i) << "locations still count the writer's packets";
    }
}

// A client that is not a Windows Media player (no NSPlayer user agent, no Pragma lines), such as
// a media player's plain HTTP access or a browser, gets what a Windows Media server gives it: a
// reference to the stream, which the player opens again as a Windows Media stream.
TEST_F(NetworkSinkTest, AClientThatIsNotAWindowsMediaPlayerGetsAReferenceToTheStream) {
    struct Row {
        const char* request;
        std::string address;
    };
    const Row rows[] = {
        {"GET /live HTTP/1.1\r\nHost: 192.0.2.10:8008\r\nAccept: */*\r\nUser-Agent: VLC/3.0.24 LibVLC/3.0.24\r\n"
         "Range: bytes=0-\r\n\r\n",
         "http://192.0.2.10:8008/live"},
        // Without a Host line the reference names the address the sink listens on.
        {"GET / HTTP/1.0\r\n\r\n", "http://127.0.0.1:" + std::to_string(port_) + "/"},
    };
    for (const Row& row : rows) {
        const std::string response = AskOnce(port_, row.request);
        const std::string body = "[Reference]\r\nRef1=" + row.address + "\r\n";
        EXPECT_EQ(response.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << response.substr(0, 80);
        EXPECT_NE(HeadOf(response).find("Content-Type: video/x-ms-asf\r\n"), std::string::npos) << HeadOf(response);
        EXPECT_NE(HeadOf(response).find("Content-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos);
        EXPECT_EQ(BodyOf(response), body);
    }
    EXPECT_EQ(Count(), 0u);
}

// Players try MMS over TCP first for mms:// addresses: the sink answers those bytes at once
// instead of at its request time-out, and closes lingering, so the client's next command is
// taken rather than reset (a reset kills some players before they try MMS over HTTP).
TEST_F(NetworkSinkTest, BytesThatAreNotHttpAreRefusedAtOnceAndTheClientMayGoOnWriting) {
    const std::string command = std::string("\x01\x00\x00\x00\xce\xfa\x0b\xb0\x98\x00\x00\x00MMS ", 16) +
                                std::string(136, '\0');
    auto s = ConnectLoopback(port_);
    ASSERT_TRUE(s);
    const DWORD start = ::GetTickCount();
    ASSERT_TRUE(SendText(s.get(), command));
    const std::string response = Receive(s.get(), SIZE_MAX, 8000);
    const DWORD took = ::GetTickCount() - start;
    EXPECT_EQ(response.rfind("HTTP/1.0 400", 0), 0u) << response.substr(0, 40);
    EXPECT_LT(took, 2500u) << "answered before the 5 s request time-out";
    ::Sleep(100);
    EXPECT_TRUE(SendText(s.get(), command));
    ::Sleep(200);
    EXPECT_TRUE(SendText(s.get(), command)) << "the connection was reset instead of closed";
    EXPECT_EQ(Count(), 0u);
}

TEST_F(NetworkSinkTest, ABusyPortFailsAtOnceAndCloseFreesIt) {
    win::ComPtr<IWMWriterNetworkSink> second;
    ASSERT_EQ(CreateNetworkSink(second.put()), S_OK);
    DWORD port = port_;
    const DWORD start = ::GetTickCount();
    EXPECT_LT(second->Open(&port), 0);
    EXPECT_LT(::GetTickCount() - start, 1000u);
    EXPECT_EQ(sink_->Close(), S_OK);
    EXPECT_FALSE(ConnectLoopback(port_)) << "closed: nothing listens";
    DWORD again = port_;
    EXPECT_EQ(second->Open(&again), S_OK) << "the port is free again";
    EXPECT_EQ(again, port_);
    EXPECT_EQ(second->Close(), S_OK);
}

TEST_F(NetworkSinkTest, CloseDisconnectsListenersAndOpenServesAgain) {
    auto s = Listen();
    ASSERT_TRUE(s);
    ASSERT_TRUE(WaitForCount(1));
    EXPECT_EQ(sink_->Close(), S_OK);
    EXPECT_EQ(Count(), 0u);
    std::vector<Chunk> chunks;
    ASSERT_TRUE(SplitChunks(BodyOf(Receive(s.get())), &chunks, false));
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[1].type, 'E') << "a close ends the stream as the end of writing does";
    char byte;
    EXPECT_LE(::recv(s.get(), &byte, 1, 0), 0);
    DWORD port = 0;
    ASSERT_EQ(sink_->Open(&port), S_OK);
    port_ = port;
    auto t = Listen();
    ASSERT_TRUE(t);
    EXPECT_TRUE(WaitForCount(1));
}

TEST(NetworkSink, AnswersItsInterfacesAndCountsReferences) {
    win::ComPtr<IWMWriterNetworkSink> sink;
    ASSERT_EQ(CreateNetworkSink(sink.put()), S_OK);
    const IID* answered[] = {&IID_IUnknown, &IID_IWMWriterSink, &IID_IWMWriterNetworkSink,
                             &IID_IWMClientConnections, &IID_IWMClientConnections2, &IID_IWMRegisterCallback};
    for (const IID* iid : answered) {
        IUnknown* p = nullptr;
        EXPECT_EQ(sink->QueryInterface(*iid, reinterpret_cast<void**>(&p)), S_OK);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->Release(), 1u);
    }
    void* p = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(sink->QueryInterface(IID_IWMWriterFileSink, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(sink->SetNetworkProtocol(static_cast<WMT_NET_PROTOCOL>(1)), E_INVALIDARG);
    WINBOOL realTime = FALSE;
    EXPECT_EQ(sink->IsRealTime(&realTime), S_OK);
    EXPECT_TRUE(realTime);
    EXPECT_EQ(sink.detach()->Release(), 0u);
}

// The request parser alone, for the forms real clients send.
TEST(HttpRequestParse, RealClientsRequests) {
    struct Row { const char* text; RequestParse expected; };
    const Row rows[] = {
        {kPlayRequest, RequestParse::kPlay},                                               // PeerCast node
        {kDescribeRequest, RequestParse::kDescribe},                                       // FFmpeg, first request
        {"GET / HTTP/1.1\r\nPragma: no-cache,rate=1.000000,request-context=2\r\n"
         "pragma: xplaystrm=1\r\n\r\n", RequestParse::kPlay},                              // case differs
        {"GET / HTTP/1.0\r\nPragma: xPlayStrm=1\r\n", RequestParse::kIncomplete},          // head not ended
        {"GET / HTTP/1.0\nUser-Agent: NSPlayer/7.10.0.3059\n\n", RequestParse::kDescribe},  // bare LFs
        {"GET / HTTP/1.1\r\nHost: a:8008\r\nUser-Agent: VLC/3.0.24 LibVLC/3.0.24\r\n\r\n",
         RequestParse::kReference},                                                        // VLC's http access
        {"GET / HTTP/1.0\r\nUser-Agent: NSServer/9.1\r\n\r\n", RequestParse::kDescribe},  // a relaying server
        // PeerCastStation 2.x: a GET without xPlayStrm=1 (its "stream-switch" is no token of the
        // protocol's) is a Describe, answered with the header alone, whatever its User-Agent says.
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1:8008\r\nUser-Agent: NSPlayer (PeerCastStation/2.7.2.1)\r\n"
         "Pragma: stream-switch\r\n\r\n", RequestParse::kDescribe},
        {"GET / HTTP/1.1\r\nUser-Agent: NSPlayer (PeerCastStation/3.0.0.0)\r\n"
         "Pragma: stream-switch\r\nPragma: xPlayStrm=1\r\n\r\n", RequestParse::kPlay},  // 3.0 and later
        {"\x01", RequestParse::kBad},                                                      // MMS over TCP
        {"GEt", RequestParse::kBad},                                                       // not GET
        {"GET /a HTTP/2.0\r\n\r\n", RequestParse::kBad},                                   // version
        {"GET  HTTP/1.0\r\n\r\n", RequestParse::kBad},                                     // empty path
    };
    for (const Row& r : rows) EXPECT_EQ(ParseRequest(r.text), r.expected) << r.text;
}

}  // namespace
}  // namespace ombrel::test
