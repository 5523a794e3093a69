#include "tests/common/Loopback.h"

namespace ombrel::test {
namespace {

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    address.sin_port = ::htons(static_cast<u_short>(port));
    return address;
}

}  // namespace

win::UniqueSocket ConnectLoopback(int port, int receiveBuffer) {
    win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    if (s && receiveBuffer > 0)
        ::setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                     sizeof receiveBuffer);
    sockaddr_in address = LoopbackAddress(port);
    if (!s || ::connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return win::UniqueSocket();
    return s;
}

bool ConnectsOnLoopback(int port) { return static_cast<bool>(ConnectLoopback(port)); }

bool SendText(SOCKET s, const std::string& text) {
    for (size_t sent = 0; sent < text.size();) {
        const int n = ::send(s, text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool Readable(SOCKET s, long ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval bound = {ms / 1000, (ms % 1000) * 1000};
    return ::select(0, &set, nullptr, nullptr, &bound) == 1;
}

std::string ReceiveUntilClosed(SOCKET s, long ms) {
    std::string text;
    char chunk[4096];
    while (Readable(s, ms)) {
        const int got = ::recv(s, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        text.append(chunk, static_cast<size_t>(got));
    }
    return text;
}

std::string Receive(SOCKET s, size_t enough, long ms) {
    std::string text;
    const DWORD start = ::GetTickCount();
    while (text.size() < enough && ::GetTickCount() - start < static_cast<DWORD>(ms)) {
        if (!Readable(s, 50)) continue;
        char chunk[8192];
        const int got = ::recv(s, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        text.append(chunk, static_cast<size_t>(got));
    }
    return text;
}

bool PeerClosed(SOCKET s, long ms) {
    if (!Readable(s, ms)) return false;
    char byte;
    return ::recv(s, &byte, 1, MSG_PEEK) <= 0;
}

std::string AskOnce(int port, const std::string& request, long ms) {
    win::UniqueSocket s = ConnectLoopback(port);
    if (!s || !SendText(s.get(), request)) return std::string();
    return ReceiveUntilClosed(s.get(), ms);
}

int FreeLoopbackPort() {
    win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address = LoopbackAddress(0);
    if (!s || ::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 0;
    int length = sizeof address;
    if (::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ::ntohs(address.sin_port);
}

LoopbackListener::LoopbackListener(int backlog) {
    win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    if (!s) return;
    sockaddr_in address = LoopbackAddress(0);
    if (::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
    if (::listen(s.get(), backlog) != 0) return;
    int length = sizeof address;
    if (::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    port_ = ::ntohs(address.sin_port);
    socket_ = std::move(s);
}

win::UniqueSocket LoopbackListener::Accept(long ms) {
    if (!Readable(socket_.get(), ms)) return win::UniqueSocket();
    return win::UniqueSocket(::accept(socket_.get(), nullptr, nullptr));
}

}  // namespace ombrel::test
