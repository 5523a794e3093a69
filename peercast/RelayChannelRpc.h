// The JSON-RPC bodies that start and end a relay channel on the nodes with the JSON-RPC
// interface: fetch on peercast-yt, broadcastChannel on PeerCastStation, stopChannel on both.
// JSON is written and read by nlohmann/json; nothing here throws.
#pragma once

#include <string>

#include "peercast/ChannelInfoRpc.h"

namespace ombrel {

// What the channel is made of; every text UTF-8.
struct RelayChannelFields {
    std::string name;
    std::string genre;
    std::string desc;
    std::string contact;    // the broadcast's thread or site
    int bitrateKbps = 0;    // the stream's total
    std::string sourceUrl;  // where the node pulls the stream, http://127.0.0.1:<port>/
    TrackUtf8 track;        // the track playing at the start
    bool ipv6 = false;      // on the node's IPv6 network (JSON-RPC nodes only)
};

// The JSON-RPC error code of a method the node does not have.
constexpr int kRpcMethodNotFound = -32601;

// peercast-yt: fetch(url, name, desc, genre, contact, bitrate, type "WMA", network "ipv4" or
// "ipv6"), every text a string, the bit rate a number.
std::string ComposeFetch(const RelayChannelFields& fields);

// PeerCastStation: broadcastChannel pulling the stream by HTTP through its ASF reader, with info
// and track, networkType "ipv4" or "ipv6"; yellowPageId is the node's first yellow page, or negative for none (null).
std::string ComposeBroadcastChannel(const RelayChannelFields& fields, int yellowPageId);

std::string ComposeGetYellowPages();
// The first yellow page's id in a getYellowPages answer; -1 when it lists none or is no answer.
int FirstYellowPageId(const std::string& answer);

std::string ComposeStopChannel(const std::string& channelId);

// The channel id a fetch or broadcastChannel answer gives; empty when the answer has none.
// *errorCode (when given) takes the JSON-RPC error's code, 0 without an error.
std::string CreatedChannelId(const std::string& answer, int* errorCode);

}  // namespace ombrel
