// The client side of a test against the stand-in node: a connection that counts its receives.
#pragma once

#include <string>
#include <vector>

#include "peercast/ResponseHead.h"
#include "peercast/TcpConnection.h"

namespace ombrel::test {

// Records every Receive result, so a test can see how the bytes arrived.
class CountingConnection : public TcpConnection {
public:
    int Receive(char* buffer, int size) noexcept override {
        const int got = TcpConnection::Receive(buffer, size);
        results.push_back(got);
        if (got > 0) bytes += static_cast<size_t>(got);
        return got;
    }
    std::vector<int> results;
    size_t bytes = 0;
};

// What ReadResponseHead gave.
struct HeadResult {
    int result = -99;
    std::string statusLine;
    HttpHeaderMap headers;
};

}  // namespace ombrel::test
