// Shared by the network sink's tests: the describe request as real clients send it, and a fixture
// with an open sink that has its header and takes listeners on real loopback connections.
#pragma once

#include <winsock.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "standin/wmvcore/Sinks.h"
#include "tests/common/Loopback.h"
#include "tests/common/PlayRequest.h"
#include "tests/common/StreamChunks.h"
#include "tests/wmvcore/TestBuffer.h"
#include "win/ComPtr.h"
#include "win/UniqueSocket.h"

namespace ombrel::test {

inline const char kDescribeRequest[] =
    "GET / HTTP/1.1\r\n"
    "Accept: */*\r\n"
    "User-Agent: NSPlayer/4.1.0.3856\r\n"
    "Host: 127.0.0.1:8008\r\n"
    "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,request-context=1,max-duration=0\r\n"
    "Connection: Close\r\n"
    "\r\n";

inline std::vector<BYTE> Bytes(size_t n, int seed) {
    std::vector<BYTE> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>(i * 13 + seed);
    return v;
}

class NetworkSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(wmstandin::CreateNetworkSink(sink_.put()), S_OK);
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
        auto s = ConnectLoopback(port_);
        if (receiveBuffer > 0)
            ::setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                         sizeof receiveBuffer);
        if (s && !SendText(s.get(), kPlayRequest)) s.reset();
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

}  // namespace ombrel::test
