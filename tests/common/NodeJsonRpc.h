// The JSON-RPC interface of the stand-in PeerCast node, answering as peercast-yt or
// PeerCastStation does: the channels it holds, getChannels, setChannelInfo, the making and
// ending of channels (fetch on peercast-yt, broadcastChannel on PeerCastStation, stopChannel on
// both), getVersionInfo, getYellowPages, and their errors.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace ombrel::test {

enum class RpcFlavour { PeerCastYt, PeerCastStation };

class NodeJsonRpc {
public:
    explicit NodeJsonRpc(RpcFlavour flavour = RpcFlavour::PeerCastYt) : flavour_(flavour) {}
    RpcFlavour flavour() const { return flavour_; }
    // PeerCastStation lists its yellow pages; this one has one (id 7) when set.
    void SetYellowPage(bool listed) { yellowPage_ = listed; }

    // A channel under name (UTF-8) with empty texts and no track, broadcast by this node or
    // relayed from another; its id is derived from its place in the list.
    void AddChannel(const std::string& name, bool broadcasting = true);
    const nlohmann::json& Channels() const { return channels_; }
    // The channel's info and track as getChannels lists them; null when no channel has that name.
    nlohmann::json Channel(const std::string& name) const;

    // The JSON answer to one request body. Like peercast-yt: -32700 for a body that is not
    // well-formed JSON (cp932 bytes in a string among it), -32600 for a request that is no
    // JSON-RPC 2.0 call, -32601 for an unknown method (fetch on PeerCastStation,
    // broadcastChannel on peercast-yt), -32602 for the wrong number of arguments or one of the
    // wrong type (a fetch text that is no string or null, a bit rate that is no number; a
    // broadcastChannel without one of its named parameters, a content reader or yellow page
    // the node does not have), -32603 when setChannelInfo lacks one of info's or track's texts
    // or has one that is no string, and code 0 when no channel has the id.
    std::string Answer(const std::string& body);

    // Every call answered, as "method" and its params.
    const std::vector<nlohmann::json>& Calls() const { return calls_; }

private:
    nlohmann::json SetChannelInfo(const nlohmann::json& arguments);
    nlohmann::json Dispatch(const std::string& method, const nlohmann::json& params, const nlohmann::json& id);
    nlohmann::json NewChannel(const std::string& name, const std::string& source);

    RpcFlavour flavour_;
    bool yellowPage_ = false;
    nlohmann::json channels_ = nlohmann::json::array();
    int made_ = 0;
    std::vector<nlohmann::json> calls_;
};

}  // namespace ombrel::test
