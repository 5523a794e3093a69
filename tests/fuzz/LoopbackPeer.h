// The server side of the fuzzer's loopback connections: a listener on 127.0.0.1 and a thread
// that sends each case's bytes on the connection it is handed, then closes it, so the reader
// under test runs on the fuzzer's own thread against a real peer.
#pragma once

#include <winsock.h>

#include <string>
#include <utility>

#include "win/UniqueAny.h"
#include "win/UniqueSocket.h"

namespace ombrel::fuzz {

class LoopbackPeer {
public:
    bool Open() {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
        started_ = true;
        win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
        if (!s) return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
        int length = sizeof address;
        if (::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s.get(), 4) != 0 ||
            ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return false;
        }
        port_ = ::ntohs(address.sin_port);
        listener_ = std::move(s);
        go_.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
        done_.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
        sender_.reset(::CreateThread(nullptr, 0, SenderMain, this, 0, nullptr));
        return go_ && done_ && sender_;
    }

    void Close() {
        if (sender_) {
            quit_ = true;
            ::SetEvent(go_.get());
            ::WaitForSingleObject(sender_.get(), 10000);
            sender_.reset();
        }
        listener_.reset();
        if (started_) ::WSACleanup();
        started_ = false;
    }

    int port() const { return port_; }

    // The server side of the connection the client just made, or an invalid owner.
    win::UniqueSocket Accept() {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(listener_.get(), &set);
        timeval bound = {5, 0};
        if (::select(0, &set, nullptr, nullptr, &bound) != 1) return win::UniqueSocket();
        return win::UniqueSocket(::accept(listener_.get(), nullptr, nullptr));
    }

    // Hands the bytes to the sender, which sends them all and closes the socket.
    void SendAndClose(win::UniqueSocket peer, const std::string& bytes) {
        peer_ = std::move(peer);
        bytes_ = bytes;
        ::SetEvent(go_.get());
    }

    bool WaitSent() { return ::WaitForSingleObject(done_.get(), 10000) == WAIT_OBJECT_0; }

private:
    static DWORD WINAPI SenderMain(LPVOID self) {
        static_cast<LoopbackPeer*>(self)->SendLoop();
        return 0;
    }

    void SendLoop() {
        for (;;) {
            ::WaitForSingleObject(go_.get(), INFINITE);
            if (quit_) return;
            // The reader may close early (it stops at the empty line); a failed send ends it.
            for (size_t sent = 0; sent < bytes_.size();) {
                const int n = ::send(peer_.get(), bytes_.data() + sent, static_cast<int>(bytes_.size() - sent), 0);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            peer_.reset();
            ::SetEvent(done_.get());
        }
    }

    bool started_ = false;
    int port_ = 0;
    win::UniqueSocket listener_;
    win::UniqueSocket peer_;
    std::string bytes_;
    volatile bool quit_ = false;
    win::UniqueEvent go_;
    win::UniqueEvent done_;
    win::UniqueThread sender_;
};

}  // namespace ombrel::fuzz
