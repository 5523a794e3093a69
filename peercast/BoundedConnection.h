// A TcpConnection whose waits (connect, sends, receives) share one deadline and end at once when
// another thread asks it to stop.
//
// Why a flag and short waits rather than closing the socket from the stopping thread: Winsock
// 1.1 has no safe way to wake another thread's select or blocking call. Closing the socket under
// it is not promised to wake a select, and the system may give the closed handle's number to a
// new socket, which the waiting thread would then use as its own. So only the thread that owns
// the connection ever touches its socket: it waits in slices of kCancelSliceMs and reads the flag
// between them, which costs a stop at most one slice.
#pragma once

#include <winsock.h>

#include <atomic>

#include "peercast/TcpConnection.h"

namespace ombrel {

// The longest one wait goes without looking at the stop flag.
constexpr DWORD kCancelSliceMs = 10;

class BoundedConnection : public TcpConnection {
public:
    // Switches the waits on; the deadline is limitMs from now. cancel may be null; it is only
    // read, and a non-zero value ends every wait.
    BoundedConnection(DWORD limitMs, const std::atomic<LONG>* cancel) noexcept;
    // The same with a deadline that started at startMs (a GetTickCount value), so that several
    // connections of one update share it.
    BoundedConnection(DWORD startMs, DWORD limitMs, const std::atomic<LONG>* cancel) noexcept;

    // Counts the attempt (ConnectAttempts) before connecting as TcpConnection does.
    int Connect(const char* host, int port) noexcept override;

    bool Cancelled() const noexcept;
    // A stop was asked for or the deadline has passed: a new connection would only be dropped.
    bool Over() const noexcept;

protected:
    // Ends as a time-out (the operation gives -3) once the deadline has passed or a stop is
    // asked for.
    Wait WaitFor(Readiness what) noexcept override;

private:
    const DWORD startMs_;
    const DWORD limitMs_;
    const std::atomic<LONG>* const cancel_;
};

// How many connections the process's updates have tried so far: what a node that is not running
// costs is one attempt per update, which on Windows is about 2 s for a closed loopback port.
LONG ConnectAttempts() noexcept;

}  // namespace ombrel
