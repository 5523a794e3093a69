// The broadcast's relay channel on the local PeerCast node, when the PeerCast page's channel
// option is on: the song worker makes it as the broadcast starts; the stop hands a channel the
// plug-in made to a short-lived thread that ends it, so that neither the player nor the stop
// waits for the node.
#pragma once

#include <windows.h>

#include <atomic>

#include "peercast/PeerCastUpdate.h"
#include "plugin/CurrentFile.h"

namespace ombrel {

// The longest the ending thread talks to the node, and how long Quit waits for it (a little
// more, so that the thread has left the node before the library may go).
constexpr DWORD kRelayEndMs = 1800;
constexpr DWORD kRelayQuitWaitMs = 2000;

enum class RelayState : LONG {
    Off,          // the option is off, or no broadcast runs
    Opening,      // the worker is asking the node
    Relaying,     // the channel is up (made now, or the broadcaster's own)
    RelayingIPv4, // IPv6 was asked, but the node has none: the channel is up on IPv4
    Unreachable,  // no node answered on the port
    Refused,      // the node answered, but no channel came of it
};

// Read by the main window's monitor.
RelayState CurrentRelayState();

// Worker, as the broadcast starts: with the option on, waits for the previous broadcast's
// channel to be ended, then finds or makes the channel from the settings with the track of the
// file playing (when its tags can be read). Returns the interface the node answered on, for the track
// updates that follow; *trackSet says whether the creation set the track already. With the
// option off, does nothing and returns Unknown.
PeerCastInterface OpenBroadcastRelay(HWND player, const PlayingFile& file, const std::atomic<LONG>* cancel,
                                     bool* trackSet);

// Main thread, once the worker has ended: a channel this broadcast made is ended by a thread of
// its own within kRelayEndMs; returns at once. A channel the broadcaster made is left running.
void EndBroadcastRelay();

// Quit: waits at most ms for the ending thread.
void AwaitRelayEnd(DWORD ms);

}  // namespace ombrel
