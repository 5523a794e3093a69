// One blocking Winsock 1.x TCP client socket with optional select-bounded waits.
//
// Results: 0 connected (or an empty line taken), > 0 a byte count, -1 failure (resolution,
// socket, connect, send, receive, closed peer, select), -2 bad argument, -3 time-out.
#pragma once

#include <winsock.h>

namespace ombrel {

constexpr int kSocketFailed = -1;
constexpr int kSocketBadArgument = -2;
constexpr int kSocketTimedOut = -3;

class TcpConnection {
public:
    TcpConnection() noexcept = default;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // The virtual operations, in the order of the table.
    // Closes the socket when it is owned.
    virtual ~TcpConnection();
    // Takes over s with the given ownership. A different socket held before is let go the
    // way the destructor would: closed when owned, forgotten otherwise.
    virtual void Attach(SOCKET s, int owns) noexcept;
    // Gives the socket away (or INVALID_SOCKET); ownsSocket stays as it was.
    virtual SOCKET Detach() noexcept;
    // Resolves host, connects to the first address; 0, -1, -2, or -3 when the connection
    // attempt outlasts timeout with useTimeout on. Lets go of a socket held before first.
    virtual int Connect(const char* host, int port) noexcept;
    // One line without its line feed and one trailing carriage return; at most size - 1
    // bytes, always terminated.
    virtual int ReceiveLine(char* buffer, int size) noexcept;
    virtual int Receive(char* buffer, int size) noexcept;
    virtual int ReceiveAll(char* buffer, int size) noexcept;
    // With useTimeout on, a send blocks only in its waits: the system takes what fits, and
    // SendAll waits again for the rest.
    virtual int Send(const char* data, int length) noexcept;
    virtual int SendString(const char* text) noexcept;
    virtual int SendAll(const char* data, int length) noexcept;
    virtual int SendStringAll(const char* text) noexcept;
    // Shuts down and closes the socket whether owned or not.
    virtual void Close() noexcept;

    // Set directly by the user of the object.
    int ownsSocket = 0;
    int useTimeout = 0;
    SOCKET socket = INVALID_SOCKET;
    timeval timeout = {30, 0};

protected:
    enum class Wait { Ready, NotMarked, Failed, TimedOut };
    enum class Readiness { Readable, Writable, Connected };
    // Every wait of a send, a receive and a bounded connect comes here: one select bounded by
    // timeout. A user with a wider bound (one deadline for many waits, a stop from another
    // thread) replaces it.
    virtual Wait WaitFor(Readiness what) noexcept;
    // One select on the held socket for what, bounded by bound.
    Wait SelectOnce(Readiness what, timeval bound) noexcept;

private:
    int SendReady(const char* data, int length) noexcept;
    void CloseHeld() noexcept;
    int ConnectBounded(SOCKET s, const sockaddr_in& address) noexcept;
};

}  // namespace ombrel
