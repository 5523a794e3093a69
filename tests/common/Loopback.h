// Real loopback sockets, both sides: a connection to a port on 127.0.0.1, a listener on a port the
// system picks, sending, reading with a bound, and a free port.
#pragma once

#include <winsock.h>

#include <cstdint>
#include <string>

#include "win/UniqueSocket.h"

namespace ombrel::test {

// A connection to 127.0.0.1:port, or an invalid owner when nothing accepts there; with a
// receive buffer of that size when one is given.
win::UniqueSocket ConnectLoopback(int port, int receiveBuffer = 0);

// Whether something accepts a connection on 127.0.0.1:port.
bool ConnectsOnLoopback(int port);

// Sends all of text, in as many sends as the system needs.
bool SendText(SOCKET s, const std::string& text);

// Whether s has something to read (or has closed) within ms.
bool Readable(SOCKET s, long ms);

// Everything the peer sent until it closed or ms milliseconds passed without data.
std::string ReceiveUntilClosed(SOCKET s, long ms = 5000);

// Reads until the peer closes, or at least enough bytes came, or ms passed in all.
std::string Receive(SOCKET s, size_t enough = SIZE_MAX, long ms = 5000);

// True when the peer of s has closed: a read is ready within ms and yields 0 bytes (or fails).
bool PeerClosed(SOCKET s, long ms = 2000);

// One request on a new connection; everything the server answered until it closed or
// ms milliseconds passed without data.
std::string AskOnce(int port, const std::string& request, long ms = 5000);

// A port on 127.0.0.1 where nothing listens: bound once by the system, then released.
int FreeLoopbackPort();

// A listener on 127.0.0.1 at a port the system picks.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 5);

    bool ok() const { return static_cast<bool>(socket_); }
    int port() const { return port_; }
    SOCKET get() const { return socket_.get(); }

    // The next connection, or an invalid owner when none comes within ms milliseconds.
    win::UniqueSocket Accept(long ms = 5000);

private:
    win::UniqueSocket socket_;
    int port_ = 0;
};

}  // namespace ombrel::test
