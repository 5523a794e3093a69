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

json NodeJsonRpc::NewChannel(const std::string& name, const std::string& source) {
    char id[33];
    std::snprintf(id, sizeof id, "%032X", static_cast<unsigned>(++made_));
    return {
        {"channelId", id},
        {"status", {{"status", "Receiving"}, {"source", source}, {"isBroadcasting", true}}},
        {"info", {{"name", name}, {"url", ""}, {"genre", ""}, {"desc", ""}, {"comment", ""},
                  {"bitrate", 192}, {"contentType", "WMV"}, {"mimeType", "video/x-ms-wmv"}}},
        {"track", {{"name", ""}, {"genre", ""}, {"album", ""}, {"creator", ""}, {"url", ""}}},
        {"yellowPages", json::array()},
    };
}

void NodeJsonRpc::AddChannel(const std::string& name, bool broadcasting) {
    json channel = NewChannel(name, "");
    channel["status"]["isBroadcasting"] = broadcasting;
    channels_.push_back(std::move(channel));
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
        !request.contains("id") || !request.contains("method") || !request["method"].is_string()) {
        return Error(-32600, "Invalid Request").dump();
    }
    const json& id = request["id"];
    json params = request.contains("params") ? request["params"] : json::array();
    if (!params.is_object() && !params.is_array()) return Error(-32602, "Invalid params", id).dump();
    const std::string method = request["method"];
    calls_.push_back({{"method", method}, {"params", params}});
    const json result = Dispatch(method, params, id);
    if (result.is_object() && result.contains("error")) return result.dump();
    return json{{"jsonrpc", "2.0"}, {"result", result}, {"id", id}}.dump();
}

json NodeJsonRpc::Dispatch(const std::string& method, const json& params, const json& id) {
    const bool station = flavour_ == RpcFlavour::PeerCastStation;
    auto invalid = [&] { return Error(-32602, "Invalid params", id); };
    if (method == "getChannels") {
        if (!Positional(params, {}).empty()) return invalid();
        return channels_;
    }
    if (method == "getVersionInfo") {
        return {{"agentName", station ? "PeerCastStation/2.9.0" : "PeerCast/0.1218 (YT27)"},
                {"apiVersion", "1.0.0"}, {"jsonrpc", "2.0"}};
    }
    if (method == "getYellowPages") {
        json pages = json::array();
        if (yellowPage_) pages.push_back({{"yellowPageId", 7}, {"name", "YP"}, {"protocol", "pcp"}});
        return pages;
    }
    if (method == "setChannelInfo") {
        const json arguments = Positional(params, {"channelId", "info", "track"});
        if (arguments.size() != 3) return invalid();
        if (!arguments[0].is_string() || !HasTexts(arguments[1], {"name", "desc", "genre", "url", "comment"}) ||
            !HasTexts(arguments[2], {"url", "name", "creator", "album", "genre"})) {
            return Error(-32603, "Internal error", id);
        }
        const json result = SetChannelInfo(arguments);
        if (result.is_discarded()) return Error(0, "Channel not found", id);
        return result;
    }
    if (method == "stopChannel") {
        const json arguments = Positional(params, {"channelId"});
        if (arguments.size() != 1 || !arguments[0].is_string()) return invalid();
        for (size_t i = 0; i < channels_.size(); ++i) {
            if (channels_[i]["channelId"] == arguments[0]) {
                channels_.erase(i);
                break;
            }
        }
        return nullptr;
    }
    if (method == "fetch" && !station) {
        // peercast-yt reads each argument as a string (the bit rate as a number): null or another
        // type is an invalid parameter.
        const json a = Positional(params, {"url", "name", "desc", "genre", "contact", "bitrate", "type"});
        if (a.size() != 7) return invalid();
        for (size_t i : {0u, 1u, 2u, 3u, 4u, 6u})
            if (!a[i].is_string()) return invalid();
        if (!a[5].is_number_integer()) return invalid();
        // The eighth, network, is "ipv4" or "ipv6"; missing or null reads as IPv4.
        const json network = params.is_object() ? params.value("network", json()) : params.size() > 7 ? params[7] : json();
        if (!network.is_null() && network != "ipv4" && network != "ipv6") return invalid();
        json channel = NewChannel(a[1], a[0]);
        channel["info"].update({{"desc", a[2]}, {"genre", a[3]}, {"url", a[4]}, {"bitrate", a[5]},
                                {"contentType", a[6]}, {"mimeType", "audio/x-ms-wma"}});
        channel["network"] = network.is_null() ? json("ipv4") : network;
        channels_.push_back(channel);
        return channel["channelId"];
    }
    if (method == "broadcastChannel" && station) {
        // Every named parameter but sourceStream must be there (null is allowed).
        if (params.is_object()) {
            for (const char* name : {"yellowPageId", "networkType", "sourceUri", "contentReader", "info", "track"})
                if (!params.contains(name)) return invalid();
        }
        const json a = Positional(params, {"yellowPageId", "networkType", "sourceUri", "contentReader", "info",
                                           "track", "sourceStream"});
        if (a.size() < 6) return invalid();
        if (!a[0].is_null() && !(a[0].is_number_integer() && yellowPage_ && a[0] == 7)) return invalid();
        if (!a[2].is_string() || a[2].get<std::string>().rfind("http://", 0) != 0) return invalid();
        if (a[3] != "ASF(WMV or WMA)") return invalid();
        if (a[1] != "ipv4" && a[1] != "ipv6") return invalid();
        if (!a[4].is_object() || !a[5].is_object()) return invalid();
        json channel = NewChannel(a[4].value("name", ""), a[2]);
        for (const char* name : {"name", "url", "genre", "desc", "comment", "bitrate"})
            if (a[4].contains(name)) channel["info"][name] = a[4][name];
        for (const char* name : {"name", "creator", "album", "genre", "url"})
            if (a[5].contains(name)) channel["track"][name] = a[5][name];
        channel["info"]["contentType"] = "WMA";
        channel["sourceStream"] = a.size() > 6 ? a[6] : json();
        channel["yellowPageId"] = a[0];
        channel["network"] = a[1];
        channels_.push_back(channel);
        return channel["channelId"];
    }
    return Error(-32601, "Method not found", id);
}

json NodeJsonRpc::SetChannelInfo(const json& arguments) {
    for (json& channel : channels_) {
        if (channel["channelId"] != arguments[0]) continue;
        // PeerCastStation changes only a channel it broadcasts itself.
        if (flavour_ == RpcFlavour::PeerCastStation && !channel["status"]["isBroadcasting"].get<bool>()) return nullptr;
        for (const char* name : {"name", "desc", "genre", "url", "comment"}) channel["info"][name] = arguments[1][name];
        for (const char* name : {"url", "name", "creator", "album", "genre"}) channel["track"][name] = arguments[2][name];
        return nullptr;
    }
    return json(json::value_t::discarded);
}

}  // namespace ombrel::test
