// The network sink on real loopback sockets: describe and play requests, the chunk framing,
// the listener limit and count, a listener that never reads or that leaves, packets that cost
// the writer's thread no allocation, bad requests and a busy port.
#include <winsock.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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
    SendPacket(Bytes(3200, 99));  // before the listener: not sent to it
    auto s = ConnectLoopback(port_);
    ASSERT_TRUE(s);
    ASSERT_TRUE(SendText(s.get(), kPlayRequest));
    ASSERT_TRUE(WaitForCount(1)) << "counted once its request is read";
    for (int i = 0; i < 3; ++i) SendPacket(Bytes(3200, i));
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
        const auto expected = Bytes(3200, i);
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
    for (int i = 0; i < 100; ++i) SendPacket(Bytes(3200, 50));
    first.reset();
    ASSERT_TRUE(WaitForCount(0));
    auto next = Listen();
    ASSERT_TRUE(next);
    ASSERT_TRUE(WaitForCount(1));
    for (int i = 0; i < 3; ++i) SendPacket(Bytes(3200, i));
    const std::string response = Receive(next.get(), 200 + 712 + 3 * 3212, 3000);
    std::vector<Chunk> chunks;
    ASSERT_TRUE(SplitChunks(BodyOf(response), &chunks, true));
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].type, 'H');
    for (int i = 0; i < 3; ++i) {
        const auto expected = Bytes(3200, i);
        EXPECT_EQ(chunks[1 + i].type, 'D');
        EXPECT_EQ(chunks[1 + i].payload, std::string(expected.begin(), expected.end())) << "packet " << i;
    }
}

TEST_F(NetworkSinkTest, EndOfWritingSendsTheEndChunkAndCloses) {
    auto s = Listen();
    ASSERT_TRUE(s);
    ASSERT_TRUE(WaitForCount(1));
    SendPacket(Bytes(3200, 5));
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
    const auto packet = Bytes(3200, 7);
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
    for (int i = 0; i < kPackets; ++i) units.push_back(std::make_unique<TestBuffer>(Bytes(3200, i)));
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
        const auto expected = Bytes(3200, i);
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
        {"GET / HTTP/1.0\n\n", RequestParse::kDescribe},                                   // bare LFs
        {"GET /a HTTP/2.0\r\n\r\n", RequestParse::kBad},                                   // version
        {"GET  HTTP/1.0\r\n\r\n", RequestParse::kBad},                                     // empty path
    };
    for (const Row& r : rows) EXPECT_EQ(ParseRequest(r.text), r.expected) << r.text;
}

}  // namespace
}  // namespace ombrel::test
