// This PC's address on its local network, for the listeners' address the monitor shows when the
// router's port is not mapped by the plug-in.
#pragma once

#include <string>

namespace ombrel {

// The IPv4 address of the interface that the default route leaves by (found in the routing
// table: no packet is sent); "127.0.0.1" when the PC has no such route.
std::string DefaultRouteAddress();

// Dotted IPv4 that a listener on the internet can reach: false for private (10/8, 172.16/12,
// 192.168/16), carrier-grade NAT (100.64/10), loopback, link-local, the documentation and
// benchmark ranges, multicast and reserved addresses, and for anything that is no address.
bool IsPublicAddress(const std::string& dotted);

}  // namespace ombrel
