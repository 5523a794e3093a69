// The network sink on real loopback sockets: describe and play requests, the chunk framing,
// the listener limit and count, a listener that never reads, bad requests and a busy port.
#include <winsock.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "standin/wmvcore/HttpRequest.h"
#include "standin/wmvcore/Sinks.h"
#include "tests/wmvcore/TestBuffer.h"
#include "win/ComPtr.h"
#include "win/UniqueSocket.h"

namespace wmstandin::test {
namespace {

class Winsock : public ::testing::Environment {
public:
    void SetUp() override {
        WSADATA wsa;
        ASSERT_EQ(::WSAStartup(MAKEWORD(1, 1), &wsa), 0);
    }
    void TearDown() override { ::WSACleanup(); }
};
[[maybe_unused]] ::testing::Environment* const kWinsock = ::testing::AddGlobalTestEnvironment(new Winsock);

const char kPlayRequest[] =
    "GET / HTTP/1.0\r\n"
    "Host: 127.0.0.1:8008\r\n"
    "Connection: close\r\n"
    "Accept: */*\r\n"
    "User-Agent: NSPlayer/4.1.0.3856\r\n"
    "Pragma: no-cache,rate=1.000000,request-context=1\r\n"
    "Pragma: xPlayStrm=1\r\n"
    "Pragma: xClientGUID={c77e7400-738a-11d2-9add-0020af0a3278}\r\n"
    "Pragma: stream-switch-count=2\r\n"
    "Pragma: stream-switch-entry=ffff:1:0 ffff:2:0\r\n"
    "\r\n";
const char kDescribeRequest[] =
    "GET / HTTP/1.1\r\n"
    "Accept: */*\r\n"
    "User-Agent: NSPlayer/4.1.0.3856\r\n"
    "Host: 127.0.0.1:8008\r\n"
    "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,max-duration=0\r\n"
    "Connection: Close\r\n"
    "\r\n";

win::UniqueSocket Connect(DWORD port) {
    win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    a.sin_port = ::htons(static_cast<u_short>(port));
    if (::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return win::UniqueSocket();
    return s;
}

bool Send(SOCKET s, const std::string& text) {
    return ::send(s, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

// Reads until the peer closes, or until at least `enough` bytes came, or ms passed.
std::string Receive(SOCKET s, size_t enough = SIZE_MAX, long ms = 5000) {
    std::string text;
    const DWORD start = ::GetTickCount();
    while (text.size() < enough && ::GetTickCount() - start < static_cast<DWORD>(ms)) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait = {0, 50 * 1000};
        if (::select(0, &set, nullptr, nullptr, &wait) != 1) continue;
        char chunk[8192];
        const int got = ::recv(s, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        text.append(chunk, got);
    }
    return text;
}

struct Chunk {
    char type;
    uint16_t length;
    std::string payload;
    uint32_t location;
    uint8_t flags;
    uint16_t lengthAgain;
};

// Splits what followed the response head into chunks; false if the framing is broken.
bool SplitChunks(const std::string& body, std::vector<Chunk>* chunks, bool allowPartialTail) {
    size_t at = 0;
    while (at < body.size()) {
        if (body.size() - at < 4) return allowPartialTail;
        if (body[at] != '$') return false;
        Chunk c{};
        c.type = body[at + 1];
        c.length = static_cast<uint16_t>(static_cast<BYTE>(body[at + 2]) | (static_cast<BYTE>(body[at + 3]) << 8));
        if (c.type == 'E') {
            if (body.size() - at < 4u + c.length) return allowPartialTail;
            chunks->push_back(c);
            at += 4 + c.length;
            continue;
        }
        if (c.length < 8) return false;
        if (body.size() - at < 4u + c.length) return allowPartialTail;
        const BYTE* p = reinterpret_cast<const BYTE*>(body.data() + at + 4);
        c.location = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
        c.flags = p[5];
        c.lengthAgain = static_cast<uint16_t>(p[6] | (p[7] << 8));
        c.payload.assign(body, at + 12, c.length - 8);
        chunks->push_back(c);
        at += 4 + c.length;
    }
    return true;
}

std::string HeadOf(const std::string& response) { return response.substr(0, response.find("\r\n\r\n") + 4); }
std::string BodyOf(const std::string& response) {
    const size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

std::vector<BYTE> Bytes(size_t n, int seed) {
    std::vector<BYTE> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>(i * 13 + seed);
    return v;
}

class NetworkSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CreateNetworkSink(sink_.put()), S_OK);
        ASSERT_EQ(sink_->SetNetworkProtocol(WMT_PROTOCOL_HTTP), S_OK);
        ASSERT_EQ(sink_->SetMaximumClients(2), S_OK);
        port_ = 0;
        ASSERT_EQ(sink_->Open(&port_), S_OK);
        ASSERT_NE(port_, 0u) << "port 0 picks a free port and writes it back";
        TestBuffer header(header_);
        ASSERT_EQ(sink_->OnHeader(&header), S_OK);
    }
    void TearDown() override {
        if (sink_) {
            EXPECT_EQ(sink_->Close(), S_OK);
            EXPECT_EQ(sink_.detach()->Release(), 0u) << "the server thread gave its reference back";
        }
    }
    DWORD Count() {
        win::ComPtr<IWMClientConnections> connections;
        EXPECT_EQ(sink_.As(IID_IWMClientConnections, &connections), S_OK);
        DWORD count = 0xdeadbeef;
        EXPECT_EQ(connections->GetClientCount(&count), S_OK);
        return count;
    }
    bool WaitForCount(DWORD expected, DWORD ms = 3000) {
        const DWORD start = ::GetTickCount();
        while (Count() != expected) {
            if (::GetTickCount() - start > ms) return false;
            ::Sleep(10);
        }
        return true;
    }
    void SendPacket(const std::vector<BYTE>& bytes) {
        TestBuffer unit(bytes);
        ASSERT_EQ(sink_->OnDataUnit(&unit), S_OK);
    }

    win::ComPtr<IWMWriterNetworkSink> sink_;
    DWORD port_ = 0;
    std::vector<BYTE> header_ = Bytes(700, 1);
};

TEST_F(NetworkSinkTest, DescribeGetsTheHeaderChunkOnlyAndIsNotCounted) {
    auto s = Connect(port_);
    ASSERT_TRUE(s);
    ASSERT_TRUE(Send(s.get(), kDescribeRequest));
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
    auto s = Connect(port_);
    ASSERT_TRUE(s);
    ASSERT_TRUE(Send(s.get(), kPlayRequest));
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

TEST_F(NetworkSinkTest, EndOfWritingSendsTheEndChunkAndCloses) {
    auto s = Connect(port_);
    ASSERT_TRUE(Send(s.get(), kPlayRequest));
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
    auto a = Connect(port_);
    auto b = Connect(port_);
    ASSERT_TRUE(Send(a.get(), kPlayRequest));
    ASSERT_TRUE(Send(b.get(), kPlayRequest));
    ASSERT_TRUE(WaitForCount(2));
    auto c = Connect(port_);
    ASSERT_TRUE(Send(c.get(), kPlayRequest));
    const std::string refused = Receive(c.get());
    EXPECT_EQ(refused.rfind("HTTP/1.0 503", 0), 0u) << refused;
    EXPECT_EQ(Count(), 2u);
    a.reset();
    ASSERT_TRUE(WaitForCount(1));
    auto d = Connect(port_);
    ASSERT_TRUE(Send(d.get(), kPlayRequest));
    EXPECT_TRUE(WaitForCount(2)) << "a freed place is taken again";
}

TEST_F(NetworkSinkTest, AListenerThatNeverReadsIsDroppedWithoutBlockingTheWriter) {
    auto s = Connect(port_);
    const int small = 4096;
    ::setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
    ASSERT_TRUE(Send(s.get(), kPlayRequest));
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

TEST_F(NetworkSinkTest, GarbageGetsA400AndAClose) {
    const char* cases[] = {
        "HELLO\r\n\r\n",                                  // no method, path, version
        "POST / HTTP/1.0\r\n\r\n",                         // not GET
        "GET / HTTP/1.0\r\nno colon here\r\n\r\n",         // a header line without a name
        "GET / HTTP/1.0\r\nPragma: x\x01y\r\n\r\n",        // a control character
    };
    for (const char* request : cases) {
        auto s = Connect(port_);
        ASSERT_TRUE(Send(s.get(), request));
        const std::string response = Receive(s.get());
        EXPECT_EQ(response.rfind("HTTP/1.0 400", 0), 0u) << request;
    }
    // A head with no end, beyond the bound.
    auto s = Connect(port_);
    ASSERT_TRUE(Send(s.get(), "GET / HTTP/1.0\r\n" + std::string(kMaxRequestHead, 'a')));
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
    EXPECT_FALSE(Connect(port_)) << "closed: nothing listens";
    DWORD again = port_;
    EXPECT_EQ(second->Open(&again), S_OK) << "the port is free again";
    EXPECT_EQ(again, port_);
    EXPECT_EQ(second->Close(), S_OK);
}

TEST_F(NetworkSinkTest, CloseDisconnectsListenersAndOpenServesAgain) {
    auto s = Connect(port_);
    ASSERT_TRUE(Send(s.get(), kPlayRequest));
    ASSERT_TRUE(WaitForCount(1));
    EXPECT_EQ(sink_->Close(), S_OK);
    EXPECT_EQ(Count(), 0u);
    Receive(s.get());
    char byte;
    EXPECT_LE(::recv(s.get(), &byte, 1, 0), 0);
    DWORD port = 0;
    ASSERT_EQ(sink_->Open(&port), S_OK);
    port_ = port;
    auto t = Connect(port_);
    ASSERT_TRUE(Send(t.get(), kPlayRequest));
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
}  // namespace wmstandin::test
