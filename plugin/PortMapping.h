// The broadcast's port on the router: with the output page's UPnP option on, a worker started
// with the broadcast finds the router, maps the pull port from outside to this PC, reads the
// router's external address and renews the finite lease while the broadcast runs; the stop and
// Quit have the same worker remove the mapping, and neither waits for the router. With the
// option off, no worker runs: the start only finds this PC's LAN address. The monitor reads the
// outcome.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "plugin/Router.h"

namespace ombrel {

// The lease asked for, renewed at half time: a player killed meanwhile leaves the port open at
// most this long.
constexpr int kPortLeaseSeconds = 3600;
// How long the search waits for each kind of gateway to answer.
constexpr int kRouterSearchMs = 1000;
// How long Quit waits for the removal (a little more than the relay's end).
constexpr DWORD kPortMappingQuitWaitMs = 2000;

enum class PortMappingState : LONG {
    Idle,       // no broadcast
    LanOnly,    // the option is off: the LAN address, outside listeners need a forwarded port
    Searching,  // the worker is looking for the router
    Mapped,     // the port asked for is open on the router
    OtherPort,  // the router refused the port asked for and opened externalPort instead
    NoRouter,   // no gateway answered
    Refused,    // the router refused: code
    DoubleNat,  // the router's external address is private, reserved or carrier NAT
};

struct PortMappingView {
    PortMappingState state = PortMappingState::Idle;
    int port = 0;          // the plug-in's pull port
    int externalPort = 0;  // Mapped, OtherPort: the port listeners use
    int code = 0;          // Refused, OtherPort: the router's error code for the port asked
    std::string lanAddress;
    std::string externalAddress;  // Mapped, OtherPort, DoubleNat (may be empty there)
};

// What the monitor shows; any thread.
PortMappingView CurrentPortMapping();

// "http://<address>:<port>/" that listeners use (the external one when mapped, otherwise the LAN
// one); empty while idle or searching.
std::string ListenAddress(const PortMappingView& view);

// Main thread, after a successful start: with mapOnRouter starts the worker and returns at once;
// without, only finds the LAN address (from the routing table, nothing is sent).
void StartPortMapping(int port, bool mapOnRouter);

// Main thread, at the stop: the worker removes its mapping and ends on its own; returns at once.
void EndPortMapping();

// Quit: waits at most ms for the worker (it keeps the module loaded if it takes longer).
void AwaitPortMappingEnd(DWORD ms);

// The steps on a router that Find found: reads the external address, maps port (another
// external port where the router says the one asked cannot be had, on a version 2 gateway; a
// permanent mapping where the router takes no other), and answers the outcome.
struct MappingOutcome {
    PortMappingState state = PortMappingState::Refused;
    int externalPort = 0;
    int code = 0;
    std::string externalAddress;
};
MappingOutcome MapPortOnRouter(Router& router, int port, int leaseSeconds);

// Where the worker gets its router; CreateUpnpRouter unless a test put another in its place.
// Returns the one it replaces. Only while no worker runs.
using RouterFactory = std::unique_ptr<Router> (*)();
RouterFactory SetRouterFactory(RouterFactory factory);

}  // namespace ombrel
