// Shared by the network sink's tests: a listener's side of real loopback connections (play
// and describe requests as real clients send them, reading, the chunk framing) and a fixture
// with an open sink that has its header.
#pragma once

#include <winsock.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "standin/wmvcore/Sinks.h"
#include "tests/common/PlayRequest.h"
#include "tests/wmvcore/TestBuffer.h"
#include "win/ComPtr.h"
#include "win/UniqueSocket.h"

namespace wmstandin::test {

using test_common::kPlayRequest;
inline const char kDescribeRequest[] =
    "GET / HTTP/1.1\r\n"
    "Accept: */*\r\n"
    "User-Agent: NSPlayer/4.1.0.3856\r\n"
    "Host: 127.0.0.1:8008\r\n"
    "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,max-duration=0\r\n"
    "Connection: Close\r\n"
    "\r\n";

inline win::UniqueSocket Connect(DWORD port) {
    win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    a.sin_port = ::htons(static_cast<u_short>(port));
    if (::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return win::UniqueSocket();
    return s;
}

inline bool Send(SOCKET s, const std::string& text) {
    return ::send(s, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

// Reads until the peer closes, or until at least `enough` bytes came, or ms passed.
inline std::string Receive(SOCKET s, size_t enough = SIZE_MAX, long ms = 5000) {
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
inline bool SplitChunks(const std::string& body, std::vector<Chunk>* chunks, bool allowPartialTail) {
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

inline std::string HeadOf(const std::string& response) { return response.substr(0, response.find("\r\n\r\n") + 4); }
inline std::string BodyOf(const std::string& response) {
    const size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

inline std::vector<BYTE> Bytes(size_t n, int seed) {
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
    // A listener that has sent its play request, with a receive buffer of that size when one is
    // given; none when it could not connect or send.
    win::UniqueSocket Listen(int receiveBuffer = 0) {
        auto s = Connect(port_);
        if (receiveBuffer > 0)
            ::setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                         sizeof receiveBuffer);
        if (s && !Send(s.get(), kPlayRequest)) s.reset();
        return s;
    }
    void SendPacket(const std::vector<BYTE>& bytes) {
        TestBuffer unit(bytes);
        ASSERT_EQ(sink_->OnDataUnit(&unit), S_OK);
    }

    win::ComPtr<IWMWriterNetworkSink> sink_;
    DWORD port_ = 0;
    std::vector<BYTE> header_ = Bytes(700, 1);
};

}  // namespace wmstandin::test
