#include "peercast/SocketStartup.h"

#include <winsock.h>

namespace ombrel {

int StartupSockets(int major, int minor) {
    const WORD requested = MAKEWORD(major & 0xFF, minor & 0xFF);
    WSADATA data{};
    const int error = ::WSAStartup(requested, &data);
    if (error == WSAVERNOTSUPPORTED) return -1;
    if (error == WSAEFAULT) return -2;
    if (error != 0) return -4;
    if (data.wVersion != requested) {
        ::WSACleanup();
        return -4;
    }
    return 0;
}

int CleanupSockets() {
    return ::WSACleanup() == 0 ? 0 : -1;
}

}  // namespace ombrel
