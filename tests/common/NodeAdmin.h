// The admin interface of an old-style stand-in PeerCast node (PeerCast 0.1218 and its
// derivatives): setmeta, fetch, viewxml and stop, each answered as a PeerCast IM build does.
#pragma once

#include <string>
#include <vector>

namespace ombrel::test {

struct AdminChannel {
    std::string id, name, desc, genre, contact, url, type;  // texts as decoded (UTF-8)
    int bitrate = 0;
    std::string title, artist, album;  // the track setmeta set
};

class NodeAdmin {
public:
    // The whole answer (head and body) to a GET /admin?... request line, as a PeerCast IM build
    // sends it; anything else (a JSON-RPC POST too) is redirected to the index page.
    std::string Answer(const std::string& request);

    const std::vector<AdminChannel>& Channels() const { return channels_; }
    void AddChannel(const std::string& name);

private:
    std::vector<AdminChannel> channels_;
    int made_ = 0;
};

// Percent escapes and plus signs undone.
std::string UrlDecode(const std::string& text);

}  // namespace ombrel::test
