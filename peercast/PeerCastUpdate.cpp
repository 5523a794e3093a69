#include "peercast/PeerCastUpdate.h"

#include <string>

#include "peercast/AnsiToUtf8.h"
#include "peercast/ChannelInfoRpc.h"
#include "peercast/JsonRpcExchange.h"
#include "peercast/PeerCastMetadata.h"
#include "win/ExceptionFirewall.h"

namespace ombrel {
namespace {

bool IsSuccess(int status) { return status >= 100 && status < 400; }

std::string Utf8Text(const char* utf8, const char* ansi) {
    return utf8 ? std::string(utf8) : AnsiToUtf8(CutPeerCastValue(ansi).c_str());
}

PeerCastInterface UpdateThroughJsonRpc(const char* host, int port, const PeerCastTrack& track, DWORD startMs,
                                       const std::atomic<LONG>* cancel, bool& taken) {
    HttpReply channels;
    if (!ExchangeJsonRpc(host, port, ComposeGetChannels(), startMs, cancel, channels)) {
        return PeerCastInterface::Unknown;
    }
    if (channels.status != 200) return PeerCastInterface::Unknown;
    std::string body;
    const RpcAnswer found =
        ComposeSetChannelInfo(channels.body, AnsiToUtf8(track.channel), PeerCastTrackTexts(track), body);
    if (found != RpcAnswer::Result) return PeerCastInterface::Unknown;
    if (!body.empty()) {
        HttpReply set;
        taken = ExchangeJsonRpc(host, port, body, startMs, cancel, set) && set.status == 200 &&
                ClassifyRpcAnswer(set.body) == RpcAnswer::Result;
    }
    return PeerCastInterface::JsonRpc;
}

}  // namespace

TrackUtf8 PeerCastTrackTexts(const PeerCastTrack& track) {
    TrackUtf8 texts;
    texts.name = Utf8Text(track.titleUtf8, track.title);
    texts.creator = Utf8Text(track.artistUtf8, track.artist);
    texts.album = Utf8Text(track.albumUtf8, track.album);
    return texts;
}

PeerCastInterface UpdatePeerCastTrack(const char* host, int port, const PeerCastTrack& track,
                                      PeerCastInterface known, const std::atomic<LONG>* cancel, bool* taken) {
    bool took = false;
    const PeerCastInterface answered = win::Firewall(PeerCastInterface::Unknown, [&] {
        const DWORD startMs = ::GetTickCount();
        if (known != PeerCastInterface::JsonRpc) {
            int status = 0;
            ExchangeSetMeta(host, port, track.channel, track.artist, track.title, track.album, startMs, cancel,
                            &status);
            // Windows refuses a closed loopback port only after about 2 s: a second try would
            // double what a node that is not running costs each track.
            if (status == kNodeUnreachable) return PeerCastInterface::Unknown;
            if (IsSuccess(status)) {
                took = true;
                return PeerCastInterface::SetMeta;
            }
        }
        return UpdateThroughJsonRpc(host, port, track, startMs, cancel, took);
    });
    if (taken) *taken = took;
    return answered;
}

}  // namespace ombrel
