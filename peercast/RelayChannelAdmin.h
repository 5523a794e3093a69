// The admin commands with which old-style nodes (PeerCast 0.1218 and its derivatives) start,
// list and end channels: cmd=fetch, cmd=viewxml and cmd=stop. A request from the loopback
// address needs no login there.
#pragma once

#include <string>

#include "peercast/RelayChannelRpc.h"

namespace ombrel {

// GET /admin?cmd=fetch&url=..&name=..&desc=..&genre=..&contact=..&bitrate=..&type=WMA, each
// text sent as UTF-8 escapes, as setmeta sends the channel name, so that both name the same
// channel.
std::string ComposeAdminFetch(const RelayChannelFields& fields);
std::string ComposeAdminViewXml();
std::string ComposeAdminStop(const std::string& channelId);

// True when the text is the node's viewxml answer (a peercast document).
bool IsViewXml(const std::string& xml);
// The id of the first channel named name (UTF-8) among the node's own channels in a viewxml
// answer (channels_relayed; the channels found on yellow pages are not the node's); empty when
// there is none.
std::string ChannelIdInViewXml(const std::string& xml, const std::string& name);

}  // namespace ombrel
