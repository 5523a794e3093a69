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

RelayChannel Created(RelayKind kind, std::string id, PeerCastInterface node) {
    RelayChannel channel = Outcome(RelayOutcome::Created, node);
    channel.kind = kind;
    channel.id = std::move(id);
    return channel;
}

// After getChannels answered: the node's channel of that name, or a new one.
RelayChannel OpenThroughRpc(const Opening& opening, const RelayChannelSpec& spec, const std::string& channels) {
    if (!OwnChannelIdIn(channels, spec.name).empty()) return Outcome(RelayOutcome::Existing, PeerCastInterface::JsonRpc);
    HttpReply reply;
    if (opening.Rpc(ComposeFetch(spec), reply) != Answer::Came) return Outcome(RelayOutcome::Refused, PeerCastInterface::JsonRpc);
    int error = 0;
    std::string id = CreatedChannelId(reply.body, &error);
    if (!id.empty()) return Created(RelayKind::RpcFetch, std::move(id), PeerCastInterface::JsonRpc);
    // PeerCastStation has no fetch; it broadcasts through broadcastChannel.
    if (error != kRpcMethodNotFound) return Outcome(RelayOutcome::Refused, PeerCastInterface::JsonRpc);
    int yellowPage = -1;
    if (opening.Rpc(ComposeGetYellowPages(), reply) == Answer::Came) yellowPage = FirstYellowPageId(reply.body);
    if (opening.Rpc(ComposeBroadcastChannel(spec, yellowPage), reply) != Answer::Came)
        return Outcome(RelayOutcome::Refused, PeerCastInterface::JsonRpc);
    id = CreatedChannelId(reply.body, nullptr);
    if (id.empty()) return Outcome(RelayOutcome::Refused, PeerCastInterface::JsonRpc);
    RelayChannel channel = Created(RelayKind::BroadcastChannel, std::move(id), PeerCastInterface::JsonRpc);
    channel.trackSet = true;
    return channel;
}

RelayChannel OpenThroughAdmin(const Opening& opening, const RelayChannelSpec& spec) {
    HttpReply list;
    const Answer listed = opening.Http(ComposeAdminViewXml(), list);
    if (listed == Answer::NoConnection) return Outcome(RelayOutcome::Unreachable, PeerCastInterface::Unknown);
    if (listed != Answer::Came || list.status != 200 || !IsViewXml(list.body))
        return Outcome(RelayOutcome::Refused, PeerCastInterface::Unknown);
    if (!ChannelIdInViewXml(list.body, spec.name).empty())
        return Outcome(RelayOutcome::Existing, PeerCastInterface::SetMeta);
    // The node answers fetch with a redirect to its channel page; only the list tells the id.
    HttpReply fetched;
    if (opening.Http(ComposeAdminFetch(spec), fetched) == Answer::NoConnection || fetched.status >= 400)
        return Outcome(RelayOutcome::Refused, PeerCastInterface::SetMeta);
    if (opening.Http(ComposeAdminViewXml(), list) != Answer::Came) return Outcome(RelayOutcome::Refused, PeerCastInterface::SetMeta);
    std::string id = ChannelIdInViewXml(list.body, spec.name);
    if (id.empty()) return Outcome(RelayOutcome::Refused, PeerCastInterface::SetMeta);
    return Created(RelayKind::AdminFetch, std::move(id), PeerCastInterface::SetMeta);
}

}  // namespace

RelayChannel OpenRelayChannel(const char* host, int port, const RelayChannelSpec& spec, PeerCastInterface known,
                              DWORD startMs, const std::atomic<LONG>* cancel) {
    return win::Firewall(RelayChannel(), [&] {
        const Opening opening{host, port, startMs, cancel};
        if (known != PeerCastInterface::SetMeta) {
            HttpReply channels;
            const Answer listed = opening.Rpc(ComposeGetChannels(), channels);
            if (listed == Answer::NoConnection) return Outcome(RelayOutcome::Unreachable, PeerCastInterface::Unknown);
            if (listed == Answer::Came && channels.status == 200 && ClassifyRpcAnswer(channels.body) == RpcAnswer::Result)
                return OpenThroughRpc(opening, spec, channels.body);
            if (opening.Over()) return Outcome(RelayOutcome::Refused, PeerCastInterface::Unknown);
        }
        return OpenThroughAdmin(opening, spec);
    });
}

bool EndRelayChannel(const char* host, int port, const RelayChannel& channel, DWORD limitMs) {
    return win::Firewall(false, [&] {
        if (channel.outcome != RelayOutcome::Created || channel.id.empty()) return false;
        // The bound is limitMs rather than the update's: the stop's own promise is shorter.
        const DWORD updateMs = kPeerCastTimeoutSeconds * 1000;
        const DWORD startMs = ::GetTickCount() - (limitMs < updateMs ? updateMs - limitMs : 0);
        HttpReply reply;
        const std::string request = channel.kind == RelayKind::AdminFetch
                                        ? ComposeAdminStop(channel.id)
                                        : ComposeJsonRpcPost(host, port, ComposeStopChannel(channel.id));
        return ExchangeHttp(host, port, request, startMs, nullptr, reply) != 0 && reply.status >= 200 &&
               reply.status < 400;
    });
}

}  // namespace ombrel
