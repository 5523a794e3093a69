// The relay channel of a broadcast on the local PeerCast node: made at the start, so that the
// node pulls the stream like one listener and relays it, and ended at the stop. Each kind of
// node does it its own way: peercast-yt takes fetch, PeerCastStation broadcastChannel (both
// JSON-RPC, ended with stopChannel), old-style nodes the admin commands fetch and stop.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "peercast/PeerCastUpdate.h"
#include "peercast/RelayChannelRpc.h"

namespace ombrel {

// How the channel was made, which says how it is ended.
enum class RelayKind { None, AdminFetch, RpcFetch, BroadcastChannel };

enum class RelayOutcome {
    Created,      // made by this call: end it at the stop
    Existing,     // the node has a channel of that name already (made by hand): use, never end
    Unreachable,  // no connection to the node
    Refused,      // the node answered, but no channel came of it
};

struct RelayChannel {
    RelayOutcome outcome = RelayOutcome::Refused;
    RelayKind kind = RelayKind::None;
    std::string id;  // the node's id of a created channel
    std::string name;  // the channel's name (UTF-8)
    // The request that makes the channel went out, but its answer never came (the bound ran out,
    // or a stop came): the node may have made it. Ending it finds it by its name.
    bool maybeMade = false;
    // How the node takes track updates (JsonRpc or SetMeta), Unknown when it did not answer.
    PeerCastInterface node = PeerCastInterface::Unknown;
    bool trackSet = false;  // the creation set fields.track already
    bool ipv4Only = false;  // IPv6 was asked of a node without it: made on IPv4
};

// Finds or makes the channel fields.name, within kPeerCastTimeoutSeconds from startMs; *cancel
// (when given) ends it within a few milliseconds. Unless known is SetMeta, JSON-RPC is tried
// first (getChannels; fetch, or getYellowPages and broadcastChannel when the node has no fetch),
// then the admin commands (viewxml; fetch; viewxml for the new channel's id). A connection that
// cannot be made ends it at once.
RelayChannel OpenRelayChannel(const char* host, int port, const RelayChannelFields& fields, PeerCastInterface known,
                              DWORD startMs, const std::atomic<LONG>* cancel);

// Ends a Created channel the way it was made, within limitMs; a maybeMade one is first looked for
// by its name (no channel of that name was there before the request). True when the node took
// the stop.
bool EndRelayChannel(const char* host, int port, const RelayChannel& channel, DWORD limitMs);

}  // namespace ombrel
