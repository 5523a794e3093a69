// One track update of the local PeerCast node, through whichever interface the node has: the old
// nodes' setmeta admin command, or the JSON-RPC interface of peercast-yt and PeerCastStation
// (which answer setmeta with 400).
#pragma once

#include <windows.h>

#include <atomic>

#include "peercast/ChannelInfoRpc.h"

namespace ombrel {

// The interface a node took a track on. A broadcast keeps it, so later tracks skip what the
// node does not understand.
enum class PeerCastInterface { Unknown, SetMeta, JsonRpc };

// Texts of the system code page, as FormatSongInfo makes them; a null one is sent as setmeta
// always did (its parameter left out) and as an empty text through JSON-RPC. The UTF-8 texts,
// when given, are what JSON-RPC sends instead of the ANSI ones converted: the player's own text,
// with the characters the code page cannot hold.
struct PeerCastTrack {
    const char* channel;
    const char* artist;
    const char* title;
    const char* album;
    const char* artistUtf8 = nullptr;
    const char* titleUtf8 = nullptr;
    const char* albumUtf8 = nullptr;
};

// The track's texts as the JSON-RPC interface takes them (UTF-8, cut as setmeta cuts them).
TrackUtf8 PeerCastTrackTexts(const PeerCastTrack& track);

// Unless known is JsonRpc, sends setmeta first, with the same bytes as ever; an answer of
// status 100 to 399 ends the update. Otherwise (no answer, 4xx or 5xx, or known JsonRpc) asks
// getChannels for the channel of that name that the node broadcasts itself and sets its track
// with setChannelInfo, the channel's own info unchanged; no such channel changes nothing. A
// connection that cannot be made ends the update: a node that is not running costs one attempt.
// Every connection shares one kPeerCastTimeoutSeconds bound; once *cancel (when given) is set
// the update ends within a few milliseconds. Returns the interface that answered (SetMeta, or
// JsonRpc when getChannels gave a JSON-RPC result), Unknown when neither did. *taken (when
// given) says whether the node took the track: setmeta answered 1xx to 3xx, or setChannelInfo
// gave a result.
PeerCastInterface UpdatePeerCastTrack(const char* host, int port, const PeerCastTrack& track,
                                      PeerCastInterface known, const std::atomic<LONG>* cancel,
                                      bool* taken = nullptr);

}  // namespace ombrel
