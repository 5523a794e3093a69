#include "peercast/RelayChannelRpc.h"

#include <nlohmann/json.hpp>

#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

using nlohmann::json;

constexpr int kRelayRequestId = 3;

std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string Call(const char* method, json params) {
    return win::Firewall(std::string(), [&] {
        json request = {{"jsonrpc", "2.0"}, {"id", kRelayRequestId}, {"method", method}};
        if (!params.is_null()) request["params"] = std::move(params);
        return Dump(request);
    });
}

const char* NetworkName(const RelayChannelFields& fields) { return fields.ipv6 ? "ipv6" : "ipv4"; }

}  // namespace

std::string ComposeFetch(const RelayChannelFields& fields) {
    // Recent peercast-yt reads an eighth argument, network, and reads a missing one as null;
    // earlier ones ignore a name they do not have.
    return Call("fetch", {
                             {"network", NetworkName(fields)},
                             {"url", fields.sourceUrl},
                             {"name", fields.name},
                             {"desc", fields.desc},
                             {"genre", fields.genre},
                             {"contact", fields.contact},
                             {"bitrate", fields.bitrateKbps},
                             {"type", "WMA"},
                         });
}

std::string ComposeBroadcastChannel(const RelayChannelFields& fields, int yellowPageId) {
    // Every named parameter but sourceStream must be there, null or not.
    return Call("broadcastChannel",
                {
                    {"yellowPageId", yellowPageId >= 0 ? json(yellowPageId) : json()},
                    {"networkType", NetworkName(fields)},
                    {"sourceUri", fields.sourceUrl},
                    {"contentReader", "ASF(WMV or WMA)"},
                    {"sourceStream", "http"},
                    {"info",
                     {{"name", fields.name},
                      {"url", fields.contact},
                      {"genre", fields.genre},
                      {"desc", fields.desc},
                      {"comment", ""},
                      {"bitrate", fields.bitrateKbps}}},
                    {"track",
                     {{"name", fields.track.name},
                      {"creator", fields.track.creator},
                      {"album", fields.track.album},
                      {"genre", ""},
                      {"url", ""}}},
                });
}

std::string ComposeGetYellowPages() { return Call("getYellowPages", json()); }

int FirstYellowPageId(const std::string& answer) {
    return win::Firewall(-1, [&] {
        const json parsed = json::parse(answer, nullptr, false);
        if (!parsed.is_object() || !parsed.contains("result")) return -1;
        const json& pages = parsed["result"];
        if (!pages.is_array() || pages.empty() || !pages[0].is_object()) return -1;
        const auto id = pages[0].find("yellowPageId");
        if (id == pages[0].end() || !id->is_number_integer()) return -1;
        const long long value = id->get<long long>();
        return value >= 0 && value <= 0x7FFFFFFF ? static_cast<int>(value) : -1;
    });
}

std::string ComposeStopChannel(const std::string& channelId) {
    return Call("stopChannel", {{"channelId", channelId}});
}

std::string CreatedChannelId(const std::string& answer, int* errorCode) {
    return win::Firewall(std::string(), [&] {
        if (errorCode) *errorCode = 0;
        const json parsed = json::parse(answer, nullptr, false);
        if (!parsed.is_object()) return std::string();
        const auto error = parsed.find("error");
        if (error != parsed.end()) {
            if (errorCode && error->is_object() && error->contains("code") && (*error)["code"].is_number_integer())
                *errorCode = (*error)["code"].get<int>();
            return std::string();
        }
        const auto result = parsed.find("result");
        if (result == parsed.end() || !result->is_string()) return std::string();
        return result->get<std::string>();
    });
}

}  // namespace ombrel
