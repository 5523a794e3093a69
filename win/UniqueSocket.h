// The move-only owner of a Winsock socket, counted like every other handle kind.
#pragma once

#include <winsock.h>

#include "win/UniqueAny.h"

namespace win {

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(Type s) noexcept { ::closesocket(s); }
};

using UniqueSocket = UniqueAny<SocketTraits>;

}  // namespace win
