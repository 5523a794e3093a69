// The JSON-RPC interface of the stand-in PeerCast node, answering as peercast-yt does: the
// channels it holds, getChannels and setChannelInfo, and its errors.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace ombrel::test {

class NodeJsonRpc {
public:
    // A channel broadcasting under name (UTF-8) with empty texts and no track; its id is
    // derived from its place in the list.
    void AddChannel(const std::string& name);
    // The channel's info and track as getChannels lists them; null when no channel has that name.
    nlohmann::json Channel(const std::string& name) const;

    // The JSON answer to one request body. Like peercast-yt: -32700 for a body that is not
    // well-formed JSON (cp932 bytes in a string among it), -32600 for a request that is no
    // JSON-RPC 2.0 call, -32601 for an unknown method, -32602 for the wrong number of
    // arguments, -32603 when setChannelInfo lacks one of info's or track's texts or has one
    // that is no string, and code 0 when no channel has the id.
    std::string Answer(const std::string& body);

private:
    nlohmann::json SetChannelInfo(const nlohmann::json& arguments);

    nlohmann::json channels_ = nlohmann::json::array();
};

}  // namespace ombrel::test
