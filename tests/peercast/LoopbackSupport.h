// Real loopback sockets for the PeerCast client tests: a listener on an ephemeral port, the
// server side of a connection, a stopwatch, a hang bound, and the Winsock start-up of the test
// process.
#pragma once

#include <winsock.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "win/UniqueSocket.h"

namespace ombrel::test {

// A listener on 127.0.0.1 at a port the system picks.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 5) {
        win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
        if (!s) return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
        address.sin_port = 0;
        if (::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
        if (::listen(s.get(), backlog) != 0) return;
        int length = sizeof address;
        if (::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
        port_ = ::ntohs(address.sin_port);
        socket_ = std::move(s);
    }

    bool ok() const { return static_cast<bool>(socket_); }
    int port() const { return port_; }
    SOCKET get() const { return socket_.get(); }

    // The next connection, or an invalid owner when none comes within ms milliseconds.
    win::UniqueSocket Accept(long ms = 5000) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(socket_.get(), &set);
        timeval bound = {ms / 1000, (ms % 1000) * 1000};
        if (::select(0, &set, nullptr, nullptr, &bound) != 1) return win::UniqueSocket();
        return win::UniqueSocket(::accept(socket_.get(), nullptr, nullptr));
    }

private:
    win::UniqueSocket socket_;
    int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens: bound once by the system, then released.
inline int RefusingPort() {
    LoopbackListener probe(1);
    return probe.ok() ? probe.port() : 0;
}

// Everything the peer sent until it closed or ms milliseconds passed without data.
inline std::string ReceiveUntilClosed(SOCKET s, long ms = 5000) {
    std::string text;
    for (;;) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval bound = {ms / 1000, (ms % 1000) * 1000};
        if (::select(0, &set, nullptr, nullptr, &bound) != 1) return text;
        char chunk[4096];
        const int got = ::recv(s, chunk, sizeof chunk, 0);
        if (got <= 0) return text;
        text.append(chunk, got);
    }
}

// True when the peer of s has closed: a read is ready within ms and yields 0 bytes (or fails).
inline bool PeerClosed(SOCKET s, long ms = 2000) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval bound = {ms / 1000, (ms % 1000) * 1000};
    if (::select(0, &set, nullptr, nullptr, &bound) != 1) return false;
    char byte;
    return ::recv(s, &byte, 1, MSG_PEEK) <= 0;
}

inline bool SendText(SOCKET s, const std::string& text) {
    return ::send(s, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

class Stopwatch {
public:
    Stopwatch() : start_(::GetTickCount()) {}
    DWORD ms() const { return ::GetTickCount() - start_; }

private:
    DWORD start_;
};

// Runs work on a thread of its own and waits up to hangMs for it. When it has not ended by
// then, rescue must make it end (closing the peer's side, say); the result is false.
template <typename Work, typename Rescue>
bool EndsWithin(DWORD hangMs, Work work, Rescue rescue) {
    std::atomic<bool> done{false};
    std::thread thread([&] {
        work();
        done = true;
    });
    Stopwatch watch;
    while (!done && watch.ms() < hangMs) ::Sleep(5);
    const bool ended = done;
    if (!ended) rescue();
    thread.join();
    return ended;
}

// The code page a run was started for (OMBREL_EXPECT_ACP), or 0 when any will do.
inline UINT ExpectedAnsiCodePage() {
    char value[16] = "";
    const DWORD got = ::GetEnvironmentVariableA("OMBREL_EXPECT_ACP", value, sizeof value);
    return got > 0 && got < sizeof value ? static_cast<UINT>(std::strtoul(value, nullptr, 10)) : 0;
}

}  // namespace ombrel::test
