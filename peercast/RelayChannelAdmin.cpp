#include "peercast/RelayChannelAdmin.h"

#include <cstdlib>

#include "peercast/UrlEncode.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

void AppendValue(std::string& request, const char* name, const std::string& utf8) {
    request += name;
    request += UrlEncode(utf8.c_str());
}

std::string AdminRequest(const std::string& query) { return "GET /admin?" + query + " HTTP/1.0\r\n\r\n"; }

// The value of attribute name="..." inside one start tag, its entities undone; false when the tag
// has no such attribute.
bool Attribute(const std::string& tag, const char* name, std::string& value) {
    const std::string key = std::string(" ") + name + "=\"";
    const size_t at = tag.find(key);
    if (at == std::string::npos) return false;
    const size_t begin = at + key.size();
    const size_t end = tag.find('"', begin);
    if (end == std::string::npos) return false;
    value.clear();
    for (size_t i = begin; i < end; ++i) {
        if (tag[i] != '&') {
            value += tag[i];
            continue;
        }
        const size_t semicolon = tag.find(';', i);
        if (semicolon == std::string::npos || semicolon > end) {
            value += tag[i];
            continue;
        }
        const std::string entity = tag.substr(i + 1, semicolon - i - 1);
        if (entity == "amp") value += '&';
        else if (entity == "lt") value += '<';
        else if (entity == "gt") value += '>';
        else if (entity == "quot") value += '"';
        else if (entity == "apos") value += '\'';
        else if (entity.size() > 1 && entity[0] == '#') {
            const unsigned long code = entity[1] == 'x' ? std::strtoul(entity.c_str() + 2, nullptr, 16)
                                                        : std::strtoul(entity.c_str() + 1, nullptr, 10);
            if (code == 0 || code > 0x7F) {  // the node writes only ASCII this way
                value += tag.substr(i, semicolon - i + 1);
            } else {
                value += static_cast<char>(code);
            }
        } else {
            value += tag.substr(i, semicolon - i + 1);
        }
        i = semicolon;
    }
    return true;
}

}  // namespace

std::string ComposeAdminFetch(const RelayChannelFields& fields) {
    return win::Firewall(std::string(), [&] {
        std::string query = "cmd=fetch";
        AppendValue(query, "&url=", fields.sourceUrl);
        AppendValue(query, "&name=", fields.name);
        AppendValue(query, "&desc=", fields.desc);
        AppendValue(query, "&genre=", fields.genre);
        AppendValue(query, "&contact=", fields.contact);
        query += "&bitrate=" + std::to_string(fields.bitrateKbps);
        query += "&type=WMA";
        return AdminRequest(query);
    });
}

std::string ComposeAdminViewXml() { return AdminRequest("cmd=viewxml"); }

std::string ComposeAdminStop(const std::string& channelId) {
    return win::Firewall(std::string(), [&] { return AdminRequest("cmd=stop&id=" + UrlEncode(channelId.c_str())); });
}

bool IsViewXml(const std::string& xml) { return xml.find("<peercast") != std::string::npos; }

std::string ChannelIdInViewXml(const std::string& xml, const std::string& name) {
    return win::Firewall(std::string(), [&] {
        const size_t open = xml.find("<channels_relayed");
        if (open == std::string::npos) return std::string();
        size_t close = xml.find("</channels_relayed>", open);
        if (close == std::string::npos) close = xml.size();
        for (size_t at = xml.find("<channel ", open); at != std::string::npos && at < close;
             at = xml.find("<channel ", at + 1)) {
            const size_t end = xml.find('>', at);
            if (end == std::string::npos || end > close) break;
            const std::string tag = xml.substr(at, end - at);
            std::string channelName;
            std::string id;
            if (Attribute(tag, "name", channelName) && channelName == name && Attribute(tag, "id", id) && !id.empty())
                return id;
        }
        return std::string();
    });
}

}  // namespace ombrel
