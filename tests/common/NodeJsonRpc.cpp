#include "tests/common/NodeJsonRpc.h"

namespace ombrel::test {
namespace {

using nlohmann::json;

json Error(int code, const char* message, const json& id = nullptr) {
    return {{"jsonrpc", "2.0"}, {"error", {{"code", code}, {"message", message}}}, {"id", id}};
}

// Named arguments in the method's order, as peercast-yt reorders them.
json Positional(const json& params, std::initializer_list<const char*> names) {
    if (params.is_array()) return params;
    json arguments = json::array();
    for (const char* name : names) arguments.push_back(params.contains(name) ? params[name] : json());
    return arguments;
}

// What peercast-yt's mergeChanInfo asks of each text: present and a string.
bool HasTexts(const json& object, std::initializer_list<const char*> names) {
    if (!object.is_object()) return false;
    for (const char* name : names) {
        if (!object.contains(name) || !object[name].is_string()) return false;
    }
    return true;
}

}  // namespace

void NodeJsonRpc::AddChannel(const std::string& name) {
    char id[33];
    std::snprintf(id, sizeof id, "%032X", static_cast<unsigned>(channels_.size() + 1));
    channels_.push_back({
        {"channelId", id},
        {"status", {{"status", "Receiving"}, {"isBroadcasting", true}}},
        {"info", {{"name", name}, {"url", ""}, {"genre", ""}, {"desc", ""}, {"comment", ""},
                  {"bitrate", 192}, {"contentType", "WMV"}, {"mimeType", "video/x-ms-wmv"}}},
        {"track", {{"name", ""}, {"genre", ""}, {"album", ""}, {"creator", ""}, {"url", ""}}},
        {"yellowPages", json::array()},
    });
}

json NodeJsonRpc::Channel(const std::string& name) const {
    for (const json& channel : channels_) {
        if (channel["info"]["name"] == name) return channel;
    }
    return nullptr;
}

std::string NodeJsonRpc::Answer(const std::string& body) {
    const json request = json::parse(body, nullptr, false);
    if (request.is_discarded()) return Error(-32700, "Parse error").dump();
    if (!request.is_object() || !request.contains("jsonrpc") || request["jsonrpc"] != "2.0" ||
        !request.contains("id") || !request.contains("method")) {
        return Error(-32600, "Invalid Request").dump();
    }
    const json& id = request["id"];
    json params = request.contains("params") ? request["params"] : json::array();
    if (!params.is_object() && !params.is_array()) return Error(-32602, "Invalid params", id).dump();

    json result;
    if (request["method"] == "getChannels") {
        if (!Positional(params, {}).empty()) return Error(-32602, "Invalid params", id).dump();
        result = channels_;
    } else if (request["method"] == "setChannelInfo") {
        const json arguments = Positional(params, {"channelId", "info", "track"});
        if (arguments.size() != 3) return Error(-32602, "Invalid params", id).dump();
        if (!arguments[0].is_string() || !HasTexts(arguments[1], {"name", "desc", "genre", "url", "comment"}) ||
            !HasTexts(arguments[2], {"url", "name", "creator", "album", "genre"})) {
            return Error(-32603, "Internal error", id).dump();
        }
        result = SetChannelInfo(arguments);
        if (result.is_discarded()) return Error(0, "Channel not found", id).dump();
    } else {
        return Error(-32601, "Method not found", id).dump();
    }
    return json{{"jsonrpc", "2.0"}, {"result", result}, {"id", id}}.dump();
}

json NodeJsonRpc::SetChannelInfo(const json& arguments) {
    for (json& channel : channels_) {
        if (channel["channelId"] != arguments[0]) continue;
        for (const char* name : {"name", "desc", "genre", "url", "comment"}) channel["info"][name] = arguments[1][name];
        for (const char* name : {"url", "name", "creator", "album", "genre"}) channel["track"][name] = arguments[2][name];
        return nullptr;
    }
    return json(json::value_t::discarded);
}

}  // namespace ombrel::test
