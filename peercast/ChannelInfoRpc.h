// The JSON-RPC 2.0 bodies that set a channel's track on the nodes with the JSON-RPC interface
// (peercast-yt, PeerCastStation): getChannels lists the channels, setChannelInfo sets one.
// JSON is written and read by nlohmann/json, never by hand; nothing here throws.
#pragma once

#include <string>

namespace ombrel {

// A track as the node's setChannelInfo takes it; every text is UTF-8.
struct TrackUtf8 {
    std::string name;     // the title
    std::string creator;  // the artist
    std::string album;
};

// What a JSON-RPC answer body holds.
enum class RpcAnswer {
    Result,     // an object with "result"
    Error,      // an object with "error" (a refused request)
    Malformed,  // not JSON, or JSON with neither
};

// {"id":1,"jsonrpc":"2.0","method":"getChannels"}
std::string ComposeGetChannels();

RpcAnswer ClassifyRpcAnswer(const std::string& body);

// The id of the channel that ComposeSetChannelInfo would choose; empty when there is none.
std::string OwnChannelIdIn(const std::string& channelsAnswer, const std::string& name);

// Reads a getChannels answer and, for the channel whose info.name is channel and which the node
// broadcasts itself (status.isBroadcasting; one that does not say counts only when none does,
// one relayed from another node never), writes the
// setChannelInfo body to body: the channel's own name, desc, genre, url and comment, and a track
// of the given name, creator and album with the channel's track genre and url. A text the node
// did not give as a string is left out, so the node keeps (or refuses) rather than clears it.
// Result with body set when the channel is there; Result with body empty when no such channel
// is there; Error or Malformed as ClassifyRpcAnswer, or Malformed when the result is no list.
RpcAnswer ComposeSetChannelInfo(const std::string& channelsAnswer, const std::string& channel,
                                const TrackUtf8& track, std::string& body);

}  // namespace ombrel
