#include "plugin/LanAddress.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace ombrel {
namespace {

// A documentation address (TEST-NET-2): only its route is looked up, nothing is sent to it.
constexpr unsigned char kFarAddress[4] = {198, 51, 100, 1};

std::string Dotted(DWORD networkOrder) {
    const auto* b = reinterpret_cast<const unsigned char*>(&networkOrder);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

bool ParseDotted(const std::string& dotted, unsigned (&b)[4]) {
    char rest = 0;
    if (std::sscanf(dotted.c_str(), "%3u.%3u.%3u.%3u%c", &b[0], &b[1], &b[2], &b[3], &rest) != 4) return false;
    for (unsigned part : b)
        if (part > 255) return false;
    return true;
}

}  // namespace

std::string DefaultRouteAddress() {
    DWORD destination = 0;
    static_assert(sizeof destination == sizeof kFarAddress, "IPv4");
    std::memcpy(&destination, kFarAddress, sizeof destination);
    DWORD index = 0;
    if (::GetBestInterface(destination, &index) != NO_ERROR) return "127.0.0.1";
    ULONG size = 0;
    if (::GetIpAddrTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER || size == 0) return "127.0.0.1";
    std::vector<unsigned char> buffer(size);
    auto* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data());
    if (::GetIpAddrTable(table, &size, FALSE) != NO_ERROR) return "127.0.0.1";
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        if (table->table[i].dwIndex == index && table->table[i].dwAddr != 0) return Dotted(table->table[i].dwAddr);
    return "127.0.0.1";
}

bool IsPublicAddress(const std::string& dotted) {
    unsigned b[4];
    if (!ParseDotted(dotted, b)) return false;
    const unsigned a = b[0], s = b[1], t = b[2];
    if (a == 0 || a == 10 || a == 127 || a >= 224) return false;       // this net, private, loopback, multicast, reserved
    if (a == 100 && s >= 64 && s <= 127) return false;                // carrier-grade NAT
    if (a == 169 && s == 254) return false;                           // link-local
    if (a == 172 && s >= 16 && s <= 31) return false;                 // private
    if (a == 192 && s == 168) return false;                           // private
    if (a == 192 && s == 0 && (t == 0 || t == 2)) return false;       // protocol assignments, TEST-NET-1
    if (a == 198 && (s == 18 || s == 19)) return false;               // benchmarking
    if (a == 198 && s == 51 && t == 100) return false;                // TEST-NET-2
    if (a == 203 && s == 0 && t == 113) return false;                 // TEST-NET-3
    return true;
}

}  // namespace ombrel
