// The server side of the fuzzer's loopback connections: a listener on 127.0.0.1 and a thread
// that sends each case's bytes on the connection it is handed, then closes it, so the reader
// under test runs on the fuzzer's own thread against a real peer.
#pragma once

#include <winsock.h>

#include <optional>
#include <string>
#include <utility>

#include "peercast/SocketStartup.h"
#include "tests/common/Loopback.h"
#include "win/UniqueAny.h"
#include "win/UniqueSocket.h"

namespace ombrel::test::fuzz {

class LoopbackPeer {
public:
    bool Open() {
        if (StartupSockets(1, 1) != 0) return false;
        started_ = true;
        listener_.emplace(4);
        if (!listener_->ok()) return false;
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
        if (started_) CleanupSockets();
        started_ = false;
    }

    int port() const { return listener_ ? listener_->port() : 0; }

    // The server side of the connection the client just made, or an invalid owner.
    win::UniqueSocket Accept() { return listener_->Accept(); }

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
    std::optional<test::LoopbackListener> listener_;  // made once sockets are started
    win::UniqueSocket peer_;
    std::string bytes_;
    volatile bool quit_ = false;
    win::UniqueEvent go_;
    win::UniqueEvent done_;
    win::UniqueThread sender_;
};

}  // namespace ombrel::test::fuzz
