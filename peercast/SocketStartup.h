// The process's use of Windows sockets (WSOCK32), started in Init and ended in Quit.
#pragma once

namespace ombrel {

// WSAStartup for version major.minor (major in the low byte of the version word).
// 0 when the system agreed to exactly that version; -1 version not supported; -2 bad
// argument; -4 any other failure, including a different agreed version (then the start-up
// is undone at once).
int StartupSockets(int major, int minor);

// WSACleanup: 0 when it succeeds, -1 otherwise.
int CleanupSockets();

// One start-up of Windows sockets, ended only when it took effect: a clean-up after a failed
// or undone start-up would take away the player's own reference.
class SocketUse {
public:
    SocketUse(int major, int minor) noexcept : result_(StartupSockets(major, minor)) {}
    ~SocketUse() {
        if (result_ == 0) CleanupSockets();
    }
    SocketUse(const SocketUse&) = delete;
    SocketUse& operator=(const SocketUse&) = delete;

    // What StartupSockets gave.
    int Result() const noexcept { return result_; }

private:
    int result_;
};

}  // namespace ombrel
