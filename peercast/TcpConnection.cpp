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
        const Wait wait = WaitFor(Readiness::Connected);
        int error = 0;
        int length = sizeof error;
        if (wait == Wait::TimedOut) {
            result = kSocketTimedOut;
        } else if (wait != Wait::Ready) {
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

TcpConnection::Wait TcpConnection::WaitFor(Readiness what) noexcept { return SelectOnce(what, timeout); }

// A connection attempt is over when the socket is writable (connected) or in the exception set
// (refused).
TcpConnection::Wait TcpConnection::SelectOnce(Readiness what, timeval bound) noexcept {
    fd_set set;
    fd_set failed;
    FD_ZERO(&set);
    FD_ZERO(&failed);
    FD_SET(socket, &set);
    FD_SET(socket, &failed);
    int count = 0;
    switch (what) {
        case Readiness::Readable:
            count = ::select(0, &set, nullptr, nullptr, &bound);
            break;
        case Readiness::Writable:
            count = ::select(0, nullptr, &set, nullptr, &bound);
            break;
        case Readiness::Connected:
            count = ::select(0, nullptr, &set, &failed, &bound);
            if (count > 0 && FD_ISSET(socket, &failed)) return Wait::Failed;
            break;
    }
    if (count == 0) return Wait::TimedOut;
    if (count < 0) return Wait::Failed;
    return FD_ISSET(socket, &set) ? Wait::Ready : Wait::NotMarked;
}

// With useTimeout on, a send must not block past the wait before it: Winsock's blocking send
// returns only once all its bytes are buffered, which a peer that has stopped reading never
// allows, whatever select said. For the call the socket is non-blocking and takes what fits;
// 0 when nothing did.
int TcpConnection::SendReady(const char* data, int length) noexcept {
    if (!useTimeout) return ::send(socket, data, length, 0);
    u_long mode = 1;
    if (::ioctlsocket(socket, FIONBIO, &mode) != 0) return SOCKET_ERROR;
    int sent = ::send(socket, data, length, 0);
    if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) sent = 0;
    mode = 0;
    ::ioctlsocket(socket, FIONBIO, &mode);
    return sent;
}

int TcpConnection::ReceiveLine(char* buffer, int size) noexcept {
    if (!buffer || size <= 0) return kSocketBadArgument;
    int stored = 0;
    buffer[0] = '\0';
    while (stored < size - 1) {
        if (useTimeout) {
            const Wait wait = WaitFor(Readiness::Readable);
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
        const Wait wait = WaitFor(Readiness::Readable);
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
            const Wait wait = WaitFor(Readiness::Readable);
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
        const Wait wait = WaitFor(Readiness::Writable);
        if (wait == Wait::TimedOut) return kSocketTimedOut;
        if (wait != Wait::Ready) return kSocketFailed;
    }
    const int sent = SendReady(data, length);
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
            const Wait wait = WaitFor(Readiness::Writable);
            if (wait == Wait::TimedOut) return kSocketTimedOut;
            if (wait == Wait::Failed) return kSocketFailed;
            if (wait == Wait::NotMarked) continue;
        }
        const int sent = SendReady(data + done, length - done);
        if (sent < 0 || (sent == 0 && !useTimeout)) return kSocketFailed;
        done += sent;  // 0: the buffer was full after all; wait again
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
