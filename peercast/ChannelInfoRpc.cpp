#include "peercast/ChannelInfoRpc.h"

#include <nlohmann/json.hpp>

#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

using nlohmann::json;

constexpr int kGetChannelsId = 1;
constexpr int kSetChannelInfoId = 2;

// Ill-formed UTF-8 can only come from a bug, but even then it must neither throw nor make
// ill-formed JSON.
std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

json Request(const char* method, int id) { return json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}}; }

RpcAnswer Classify(const json& answer) {
    if (!answer.is_object()) return RpcAnswer::Malformed;
    if (answer.contains("error")) return RpcAnswer::Error;
    if (answer.contains("result")) return RpcAnswer::Result;
    return RpcAnswer::Malformed;
}

// The named texts of from that are strings.
json StringsOf(const json& from, std::initializer_list<const char*> names) {
    json out = json::object();
    if (!from.is_object()) return out;
    for (const char* name : names) {
        const auto field = from.find(name);
        if (field != from.end() && field->is_string()) out[name] = *field;
    }
    return out;
}

bool IsNamed(const json& channel, const std::string& name) {
    if (!channel.is_object()) return false;
    const auto id = channel.find("channelId");
    const auto info = channel.find("info");
    if (id == channel.end() || !id->is_string() || info == channel.end() || !info->is_object()) return false;
    const auto infoName = info->find("name");
    return infoName != info->end() && infoName->is_string() && infoName->get_ref<const std::string&>() == name;
}

// What the channel's status says of its source: Yes for a channel the node broadcasts itself,
// No for one it relays from another node, Unsaid when the node does not tell.
enum class Broadcasting { Yes, No, Unsaid };

Broadcasting BroadcastingOf(const json& channel) {
    const auto status = channel.find("status");
    if (status == channel.end() || !status->is_object()) return Broadcasting::Unsaid;
    const auto flag = status->find("isBroadcasting");
    if (flag == status->end() || !flag->is_boolean()) return Broadcasting::Unsaid;
    return flag->get<bool>() ? Broadcasting::Yes : Broadcasting::No;
}

// The channel of that name the node broadcasts itself, else one whose status is unsaid; a
// relayed channel of the same name (another broadcaster's) is never chosen.
const json* FindOwnChannel(const json& channels, const std::string& name) {
    const json* unsaid = nullptr;
    for (const json& candidate : channels) {
        if (!IsNamed(candidate, name)) continue;
        const Broadcasting broadcasting = BroadcastingOf(candidate);
        if (broadcasting == Broadcasting::Yes) return &candidate;
        if (broadcasting == Broadcasting::Unsaid && !unsaid) unsaid = &candidate;
    }
    return unsaid;
}

}  // namespace

std::string ComposeGetChannels() {
    return win::Firewall(std::string(), [] { return Dump(Request("getChannels", kGetChannelsId)); });
}

std::string OwnChannelIdIn(const std::string& channelsAnswer, const std::string& name) {
    return win::Firewall(std::string(), [&] {
        const json answer = json::parse(channelsAnswer, nullptr, false);
        if (Classify(answer) != RpcAnswer::Result || !answer["result"].is_array()) return std::string();
        const json* found = FindOwnChannel(answer["result"], name);
        return found ? (*found)["channelId"].get<std::string>() : std::string();
    });
}

RpcAnswer ClassifyRpcAnswer(const std::string& body) {
    return win::Firewall(RpcAnswer::Malformed, [&] { return Classify(json::parse(body, nullptr, false)); });
}

RpcAnswer ComposeSetChannelInfo(const std::string& channelsAnswer, const std::string& channel,
                                const TrackUtf8& track, std::string& body) {
    return win::Firewall(RpcAnswer::Malformed, [&] {
        body.clear();
        const json answer = json::parse(channelsAnswer, nullptr, false);
        const RpcAnswer kind = Classify(answer);
        if (kind != RpcAnswer::Result) return kind;
        const json& channels = answer["result"];
        if (!channels.is_array()) return RpcAnswer::Malformed;
        const json* found = FindOwnChannel(channels, channel);
        if (!found) return RpcAnswer::Result;
        const json& candidate = *found;
        json newTrack = StringsOf(candidate.contains("track") ? candidate["track"] : json(), {"genre", "url"});
        newTrack["name"] = track.name;
        newTrack["creator"] = track.creator;
        newTrack["album"] = track.album;
        json request = Request("setChannelInfo", kSetChannelInfoId);
        request["params"] = {
            {"channelId", candidate["channelId"]},
            {"info", StringsOf(candidate["info"], {"name", "desc", "genre", "url", "comment"})},
            {"track", std::move(newTrack)},
        };
        body = Dump(request);
        return RpcAnswer::Result;
    });
}

}  // namespace ombrel
