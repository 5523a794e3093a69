#include "peercast/TcpConnection.h"

#include <cstring>

namespace ombrel {

TcpConnection::~TcpConnection() {
    if (ownsSocket) CloseHeld();
}

void TcpConnection::Attach(SOCKET s, int owns) noexcept {
    // A socket of our own that is being replaced would otherwise leak.
    if (socket != INVALID_SOCKET && socket != s && ownsSocket) CloseHeld();
    socket = s;
    ownsSocket = owns;
}

SOCKET TcpConnection::Detach() noexcept {
    const SOCKET s = socket;
    socket = INVALID_SOCKET;
    return s;
}

int TcpConnection::Connect(const char* host, int port) noexcept {
    if (!host || port < 0 || port > 65535) return kSocketBadArgument;

    // Reconnecting an object must not leak the socket it owned.
    if (socket != INVALID_SOCKET) {
        if (ownsSocket) {
            Close();
        } else {
            socket = INVALID_SOCKET;
        }
    }

    const hostent* entry = ::gethostbyname(host);
    if (!entry || entry->h_addrtype != AF_INET || entry->h_length != 4 || !entry->h_addr_list ||
        !entry->h_addr_list[0]) {
        return kSocketFailed;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(static_cast<u_short>(port));
    std::memcpy(&address.sin_addr, entry->h_addr_list[0], 4);

    socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket == INVALID_SOCKET) return kSocketFailed;

    const int connected = ConnectBounded(socket, address);
    if (connected != 0) {
        Close();
        return connected;
    }
    ownsSocket = 1;
    return 0;
}

// With useTimeout on, the attempt is bounded by timeout too: a listener whose backlog is full
// answers nothing, and a plain connect would wait for the system's retries (minutes).
int TcpConnection::ConnectBounded(SOCKET s, const sockaddr_in& address) noexcept {
    const sockaddr* target = reinterpret_cast<const sockaddr*>(&address);
    if (!useTimeout) return ::connect(s, target, sizeof(sockaddr_in)) == 0 ? 0 : kSocketFailed;

    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return kSocketFailed;
    int result = 0;
    if (::connect(s, target, sizeof(sockaddr_in)) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) return kSocketFailed;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval bound = timeout;
        const int count = ::select(0, nullptr, &writable, &failed, &bound);
        int error = 0;
        int length = sizeof error;
        if (count == 0) {
            result = kSocketTimedOut;
        } else if (count < 0 || FD_ISSET(s, &failed) || !FD_ISSET(s, &writable)) {
            result = kSocketFailed;
        } else if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
                   error != 0) {
            result = kSocketFailed;
        }
    }
    if (result != 0) return result;
    u_long blocking = 0;
    return ::ioctlsocket(s, FIONBIO, &blocking) == 0 ? 0 : kSocketFailed;
}

TcpConnection::Wait TcpConnection::WaitFor(bool write) noexcept {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval bound = timeout;
    const int count = write ? ::select(0, nullptr, &set, nullptr, &bound)
                            : ::select(0, &set, nullptr, nullptr, &bound);
    if (count == 0) return Wait::TimedOut;
    if (count < 0) return Wait::Failed;
    return FD_ISSET(socket, &set) ? Wait::Ready : Wait::NotMarked;
}

int TcpConnection::ReceiveLine(char* buffer, int size) noexcept {
    if (!buffer || size <= 0) return kSocketBadArgument;
    int stored = 0;
    buffer[0] = '\0';
    while (stored < size - 1) {
        if (useTimeout) {
            const Wait wait = WaitFor(false);
            if (wait == Wait::TimedOut) return kSocketTimedOut;
            if (wait == Wait::Failed) return kSocketFailed;
            if (wait == Wait::NotMarked) continue;
        }
        char byte = 0;
        if (::recv(socket, &byte, 1, 0) != 1) return kSocketFailed;
        if (byte == '\n') {
            if (stored > 0 && buffer[stored - 1] == '\r') buffer[--stored] = '\0';
            return stored;
        }
        buffer[stored++] = byte;
        buffer[stored] = '\0';
    }
    return stored;
}

int TcpConnection::Receive(char* buffer, int size) noexcept {
    if (!buffer || size <= 0) return kSocketBadArgument;
    if (useTimeout) {
        const Wait wait = WaitFor(false);
        if (wait == Wait::TimedOut) return kSocketTimedOut;
        if (wait != Wait::Ready) return kSocketFailed;
    }
    const int got = ::recv(socket, buffer, size, 0);
    return got > 0 ? got : kSocketFailed;
}

int TcpConnection::ReceiveAll(char* buffer, int size) noexcept {
    if (!buffer || size <= 0) return kSocketBadArgument;
    int done = 0;
    while (done < size) {
        if (useTimeout) {
            const Wait wait = WaitFor(false);
            if (wait == Wait::TimedOut) return kSocketTimedOut;
            if (wait == Wait::Failed) return kSocketFailed;
            if (wait == Wait::NotMarked) continue;
        }
        const int got = ::recv(socket, buffer + done, size - done, 0);
        if (got <= 0) return kSocketFailed;
        done += got;
    }
    return size;
}

int TcpConnection::Send(const char* data, int length) noexcept {
    if (!data || length <= 0) return kSocketBadArgument;
    if (useTimeout) {
        const Wait wait = WaitFor(true);
        if (wait == Wait::TimedOut) return kSocketTimedOut;
        if (wait != Wait::Ready) return kSocketFailed;
    }
    const int sent = ::send(socket, data, length, 0);
    return sent > 0 ? sent : kSocketFailed;
}

int TcpConnection::SendString(const char* text) noexcept {
    if (!text) return kSocketBadArgument;
    return Send(text, static_cast<int>(std::strlen(text)));
}

int TcpConnection::SendAll(const char* data, int length) noexcept {
    if (!data || length <= 0) return kSocketBadArgument;
    int done = 0;
    while (done < length) {
        if (useTimeout) {
            const Wait wait = WaitFor(true);
            if (wait == Wait::TimedOut) return kSocketTimedOut;
            if (wait == Wait::Failed) return kSocketFailed;
            if (wait == Wait::NotMarked) continue;
        }
        const int sent = ::send(socket, data + done, length - done, 0);
        if (sent <= 0) return kSocketFailed;
        done += sent;
    }
    return length;
}

int TcpConnection::SendStringAll(const char* text) noexcept {
    if (!text) return kSocketBadArgument;
    return SendAll(text, static_cast<int>(std::strlen(text)));
}

void TcpConnection::Close() noexcept {
    CloseHeld();
}

void TcpConnection::CloseHeld() noexcept {
    if (socket == INVALID_SOCKET) return;
    ::shutdown(socket, 2);  // SD_BOTH
    ::closesocket(socket);
    socket = INVALID_SOCKET;
}

}  // namespace ombrel
