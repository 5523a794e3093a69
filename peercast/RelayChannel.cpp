#include "peercast/RelayChannel.h"

#include "peercast/BoundedConnection.h"
#include "peercast/ChannelInfoRpc.h"
#include "peercast/JsonRpcExchange.h"
#include "peercast/PeerCastMetadata.h"
#include "peercast/RelayChannelAdmin.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

// One exchange of the opening; its outcome in three.
enum class Answer { Came, NoConnection, Failed };

struct Opening {
    const char* host;
    int port;
    DWORD startMs;
    const std::atomic<LONG>* cancel;

    Answer Rpc(const std::string& body, HttpReply& reply) const {
        return Http(ComposeJsonRpcPost(host, port, body), reply);
    }
    Answer Http(const std::string& request, HttpReply& reply) const {
        reply = HttpReply();
        bool connected = false;
        const int whole = ExchangeHttp(host, port, request, startMs, cancel, reply, &connected);
        if (!connected) return Answer::NoConnection;
        return whole ? Answer::Came : Answer::Failed;
    }
    bool Over() const { return BoundedConnection(startMs, kPeerCastTimeoutSeconds * 1000, cancel).Over(); }
};

RelayChannel Outcome(RelayOutcome outcome, PeerCastInterface node) {
    RelayChannel channel;
    channel.outcome = outcome;
    channel.node = node;
    return channel;
}

// The creating request went out without an answer.
RelayChannel Unanswered(RelayKind kind, const std::string& name, PeerCastInterface node) {
    RelayChannel channel = Outcome(RelayOutcome::Refused, node);
    channel.kind = kind;
    channel.name = name;
    channel.maybeMade = true;
    return channel;
}

RelayChannel Created(RelayKind kind, std::string id, PeerCastInterface node) {
    RelayChannel channel = Outcome(RelayOutcome::Created, node);
    channel.kind = kind;
    channel.id = std::move(id);
    return channel;
}

// After getChannels answered: the node's channel of that name, or a new one.
RelayChannel OpenThroughRpc(const Opening& opening, const RelayChannelFields& fields, const std::string& channels) {
    if (!OwnChannelIdIn(channels, fields.name).empty())
        return Outcome(RelayOutcome::Existing, PeerCastInterface::JsonRpc);
    HttpReply reply;
    const Answer fetched = opening.Rpc(ComposeFetch(fields), reply);
    if (fetched == Answer::Failed) return Unanswered(RelayKind::RpcFetch, fields.name, PeerCastInterface::JsonRpc);
    if (fetched != Answer::Came) return Outcome(RelayOutcome::Refused, PeerCastInterface::JsonRpc);
    int error = 0;
    std::string id = CreatedChannelId(reply.body, &error);
    if (!id.empty()) return Created(RelayKind::RpcFetch, std::move(id), PeerCastInterface::JsonRpc);
    // PeerCastStation has no fetch; it broadcasts through broadcastChannel.
    if (error != kRpcMethodNotFound) return Outcome(RelayOutcome::Refused, PeerCastInterface::JsonRpc);
    int yellowPage = -1;
    if (opening.Rpc(ComposeGetYellowPages(), reply) == Answer::Came) yellowPage = FirstYellowPageId(reply.body);
    const Answer broadcast = opening.Rpc(ComposeBroadcastChannel(fields, yellowPage), reply);
    if (broadcast == Answer::Failed)
        return Unanswered(RelayKind::BroadcastChannel, fields.name, PeerCastInterface::JsonRpc);
    if (broadcast != Answer::Came) return Outcome(RelayOutcome::Refused, PeerCastInterface::JsonRpc);
    id = CreatedChannelId(reply.body, nullptr);
    if (id.empty()) return Outcome(RelayOutcome::Refused, PeerCastInterface::JsonRpc);
    RelayChannel channel = Created(RelayKind::BroadcastChannel, std::move(id), PeerCastInterface::JsonRpc);
    channel.trackSet = true;
    return channel;
}

RelayChannel OpenThroughAdmin(const Opening& opening, const RelayChannelFields& fields) {
    HttpReply list;
    const Answer listed = opening.Http(ComposeAdminViewXml(), list);
    if (listed == Answer::NoConnection) return Outcome(RelayOutcome::Unreachable, PeerCastInterface::Unknown);
    if (listed != Answer::Came || list.status != 200 || !IsViewXml(list.body))
        return Outcome(RelayOutcome::Refused, PeerCastInterface::Unknown);
    if (!ChannelIdInViewXml(list.body, fields.name).empty())
        return Outcome(RelayOutcome::Existing, PeerCastInterface::SetMeta);
    // The node answers fetch with a redirect to its channel page; only the list tells the id.
    HttpReply fetched;
    const Answer made = opening.Http(ComposeAdminFetch(fields), fetched);
    if (made == Answer::NoConnection || fetched.status >= 400)
        return Outcome(RelayOutcome::Refused, PeerCastInterface::SetMeta);
    if (opening.Http(ComposeAdminViewXml(), list) != Answer::Came)
        return Unanswered(RelayKind::AdminFetch, fields.name, PeerCastInterface::SetMeta);
    std::string id = ChannelIdInViewXml(list.body, fields.name);
    if (id.empty()) {
        if (made == Answer::Came) return Outcome(RelayOutcome::Refused, PeerCastInterface::SetMeta);
        return Unanswered(RelayKind::AdminFetch, fields.name, PeerCastInterface::SetMeta);
    }
    return Created(RelayKind::AdminFetch, std::move(id), PeerCastInterface::SetMeta);
}

}  // namespace

RelayChannel OpenRelayChannel(const char* host, int port, const RelayChannelFields& fields, PeerCastInterface known,
                              DWORD startMs, const std::atomic<LONG>* cancel) {
    return win::Firewall(RelayChannel(), [&] {
        const Opening opening{host, port, startMs, cancel};
        if (known != PeerCastInterface::SetMeta) {
            HttpReply channels;
            const Answer listed = opening.Rpc(ComposeGetChannels(), channels);
            if (listed == Answer::NoConnection) return Outcome(RelayOutcome::Unreachable, PeerCastInterface::Unknown);
            const bool rpc = listed == Answer::Came && channels.status == 200 &&
                             ClassifyRpcAnswer(channels.body) == RpcAnswer::Result;
            if (rpc)
                return OpenThroughRpc(opening, fields, channels.body);
            if (opening.Over()) return Outcome(RelayOutcome::Refused, PeerCastInterface::Unknown);
        }
        RelayChannel channel = OpenThroughAdmin(opening, fields);
        // Old-style nodes have no IPv6 network: the channel is the IPv4 one.
        channel.ipv4Only = fields.ipv6 && channel.outcome == RelayOutcome::Created;
        return channel;
    });
}

bool EndRelayChannel(const char* host, int port, const RelayChannel& channel, DWORD limitMs) {
    return win::Firewall(false, [&] {
        const bool created = channel.outcome == RelayOutcome::Created && !channel.id.empty();
        if (!created && !channel.maybeMade) return false;
        // The bound is limitMs rather than the update's: the stop's own promise is shorter.
        const DWORD updateMs = kPeerCastTimeoutSeconds * 1000;
        const DWORD startMs = ::GetTickCount() - (limitMs < updateMs ? updateMs - limitMs : 0);
        const bool admin = channel.kind == RelayKind::AdminFetch;
        HttpReply reply;
        std::string id = channel.id;
        if (!created) {
            const std::string list =
                admin ? ComposeAdminViewXml() : ComposeJsonRpcPost(host, port, ComposeGetChannels());
            if (!ExchangeHttp(host, port, list, startMs, nullptr, reply)) return false;
            id = admin ? ChannelIdInViewXml(reply.body, channel.name) : OwnChannelIdIn(reply.body, channel.name);
            if (id.empty()) return false;
        }
        const std::string request =
            admin ? ComposeAdminStop(id) : ComposeJsonRpcPost(host, port, ComposeStopChannel(id));
        HttpReply stopped;
        return ExchangeHttp(host, port, request, startMs, nullptr, stopped) != 0 && stopped.status >= 200 &&
               stopped.status < 400;
    });
}

}  // namespace ombrel
