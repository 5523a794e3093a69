#include "tests/common/NodeAdmin.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace ombrel::test {
namespace {

std::map<std::string, std::string> QueryOf(const std::string& target) {
    std::map<std::string, std::string> query;
    const size_t mark = target.find('?');
    if (mark == std::string::npos) return query;
    size_t at = mark + 1;
    while (at <= target.size()) {
        size_t end = target.find('&', at);
        if (end == std::string::npos) end = target.size();
        const std::string pair = target.substr(at, end - at);
        const size_t equals = pair.find('=');
        // The node takes the first of a repeated name, as its loop over the arguments does.
        if (equals != std::string::npos) query.emplace(pair.substr(0, equals), UrlDecode(pair.substr(equals + 1)));
        at = end + 1;
    }
    return query;
}

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// The answers a PeerCast IM build sent, byte for byte: its commands redirect with 303, anything
// but /admin (a JSON-RPC POST among them) goes to the index page with 302.
const char kRedirect[] = "HTTP/1.0 303 See Other\r\nLocation: /html/en/relays.html\r\n\r\n";
const char kSetMetaRedirect[] = "HTTP/1.0 303 See Other\r\nLocation: /\r\n\r\n";
const char kIndexRedirect[] = "HTTP/1.0 302 Found\r\nLocation: /html/en/index.html\r\n\r\n";
// The list's head writes three fields with a doubled colon and a length that is not the body's;
// the body ends at the close.
const char kViewXmlHead[] =
    "HTTP/1.0 200 OK\r\nContent-Length:: 233\r\nContent-Type:: text/xml\r\nServer:: PeerCast/0.1218\r\n"
    "Date: Tue, 08 Dec 2026 06:00:00 GMT\r\nServer: PeerCast/0.1218\r\nConnection: close\r\n\r\n";

}  // namespace

std::string UrlDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

void NodeAdmin::AddChannel(const std::string& name) {
    char id[33];
    std::snprintf(id, sizeof id, "%032X", static_cast<unsigned>(0xA000 + ++made_));
    AdminChannel channel;
    channel.id = id;
    channel.name = name;
    channels_.push_back(channel);
}

std::string NodeAdmin::Answer(const std::string& request) {
    const size_t space = request.find(' ', 4);
    const std::string target = request.compare(0, 4, "GET ") == 0 && space != std::string::npos
                                   ? request.substr(4, space - 4)
                                   : std::string();
    if (target.compare(0, 7, "/admin?") != 0) return kIndexRedirect;
    std::map<std::string, std::string> query = QueryOf(target);
    const std::string cmd = query["cmd"];
    if (cmd == "setmeta") {
        for (AdminChannel& channel : channels_) {
            if (channel.name != query["name"]) continue;
            channel.title = query["t_title"];
            channel.artist = query["t_artist"];
            channel.album = query["t_album"];
        }
        return kSetMetaRedirect;
    }
    if (cmd == "fetch") {
        AddChannel(query["name"]);
        AdminChannel& channel = channels_.back();
        channel.url = query["url"];
        channel.desc = query["desc"];
        channel.genre = query["genre"];
        channel.contact = query["contact"];
        channel.bitrate = std::atoi(query["bitrate"].c_str());
        channel.type = query["type"];
        return kRedirect;
    }
    if (cmd == "stop") {
        for (size_t i = 0; i < channels_.size(); ++i) {
            if (channels_[i].id == query["id"]) {
                channels_.erase(channels_.begin() + static_cast<long>(i));
                break;
            }
        }
        return kRedirect;
    }
    if (cmd == "viewxml") {
        std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<peercast session=\"00\">\n"
                          "<servent uptime=\"10\"/>\n<channels_relayed total=\"" +
                          std::to_string(channels_.size()) + "\">\n";
        for (const AdminChannel& c : channels_) {
            xml += "<channel name=\"" + XmlEscape(c.name) + "\" id=\"" + c.id + "\" bitrate=\"" +
                   std::to_string(c.bitrate) + "\" type=\"" + XmlEscape(c.type) + "\" genre=\"" + XmlEscape(c.genre) +
                   "\" desc=\"" + XmlEscape(c.desc) + "\" url=\"" + XmlEscape(c.contact) +
                   "\" uptime=\"0\" comment=\"\" skips=\"0\" age=\"0\" bcflags=\"0\">\n"
                   "<relay listeners=\"0\" relays=\"0\" hosts=\"0\" status=\"BROADCAST\"/>\n<track title=\"" +
                   XmlEscape(c.title) + "\" artist=\"" + XmlEscape(c.artist) + "\" album=\"" + XmlEscape(c.album) +
                   "\" genre=\"\" contact=\"\"/>\n</channel>\n";
        }
        // A channel found on a yellow page is listed too, but is not the node's own.
        xml += "</channels_relayed>\n<channels_found total=\"1\">\n<channel name=\"found elsewhere\" "
               "id=\"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\" bitrate=\"0\"><hits hosts=\"1\"/></channel>\n"
               "</channels_found>\n</peercast>\n";
        return kViewXmlHead + xml;
    }
    return kRedirect;
}

}  // namespace ombrel::test
