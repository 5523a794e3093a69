#include "plugin/RelayChannelControl.h"

#include <memory>
#include <string>

#include "encoder/LiveEncoder.h"
#include "peercast/AnsiToUtf8.h"
#include "peercast/PeerCastMetadata.h"
#include "peercast/RelayChannel.h"
#include "plugin/BroadcastControl.h"
#include "plugin/Settings.h"
#include "plugin/UpdateSongInfo.h"
#include "text/CodePageChars.h"
#include "win/CriticalSection.h"
#include "win/ExceptionFirewall.h"
#include "win/ModuleThread.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

std::atomic<LONG> g_state{static_cast<LONG>(RelayState::Off)};
// 1 while an ending thread talks to the node; the next broadcast's worker waits for it, or it
// would find the old channel still there and take it for the broadcaster's own.
std::atomic<LONG> g_ending{0};
win::CriticalSection g_lock;
// Under g_lock: the worker writes them, the main thread takes them.
RelayChannel g_opened;
int g_openedPort = 0;
win::UniqueThread g_ender;  // main thread only

void SetState(RelayState state) { g_state = static_cast<LONG>(state); }

// The stream's total bit rate as the writer's profile gives it, in kbps.
int StreamKbps() {
    LiveEncoder* encoder = nullptr;
    WM_WRITER_STATISTICS statistics{};
    if (FAILED(GetEncoder(&encoder)) || FAILED(encoder->GetStatistics(&statistics))) return 0;
    return static_cast<int>((statistics.dwExpectedBitrate + 500) / 1000);
}

bool WaitForPreviousEnd(const std::atomic<LONG>* cancel) {
    const DWORD startMs = ::GetTickCount();
    while (g_ending) {
        if ((cancel && *cancel) || ::GetTickCount() - startMs > kRelayQuitWaitMs) return false;
        ::Sleep(10);
    }
    return true;
}

struct EndJob {
    RelayChannel channel;
    int port;
};

DWORD WINAPI EndChannel(LPVOID parameter) {
    std::unique_ptr<EndJob> job(static_cast<EndJob*>(parameter));
    win::Firewall([&] { EndRelayChannel(kPeerCastHost, job->port, job->channel, kRelayEndMs); });
    g_ending = 0;
    return 0;
}

}  // namespace

RelayState CurrentRelayState() { return static_cast<RelayState>(g_state.load()); }

PeerCastInterface OpenBroadcastRelay(HWND player, const PlayingFile& file, const std::atomic<LONG>* cancel,
                                     bool* trackSet) {
    if (trackSet) *trackSet = false;
    const PeerCastSettings peerCast = _settings.peerCast;
    if (!peerCast._fRelayChannel) return PeerCastInterface::Unknown;
    SetState(RelayState::Opening);
    if (!WaitForPreviousEnd(cancel)) {
        SetState(RelayState::Refused);
        return PeerCastInterface::Unknown;
    }

    RelayChannelFields fields;
    fields.name = AnsiToUtf8(CutPeerCastValue(peerCast._cChannel.c_str()).c_str());
    fields.genre = WideToUtf8(_settings.extra._cGenre.data(), _settings.extra._cGenre.size());
    fields.desc = WideToUtf8(_settings.extra._cDescription.data(), _settings.extra._cDescription.size());
    fields.contact = AnsiToUtf8(CutPeerCastValue(peerCast._cContact.c_str()).c_str());
    fields.bitrateKbps = StreamKbps();
    fields.sourceUrl = "http://127.0.0.1:" + std::to_string(_settings.extra._dwPort) + "/";
    fields.ipv6 = peerCast._fRelayIPv6 != FALSE;
    const bool trackRead = ReadPeerCastTrackTexts(player, file, &fields.track);

    const int port = static_cast<int>(peerCast._dwPort);
    const RelayChannel channel =
        OpenRelayChannel(kPeerCastHost, port, fields, PeerCastInterface::Unknown, ::GetTickCount(), cancel);
    {
        win::CsLock hold(g_lock);
        g_opened = channel;
        g_openedPort = port;
    }
    switch (channel.outcome) {
    case RelayOutcome::Created:
    case RelayOutcome::Existing:
        SetState(channel.ipv4Only ? RelayState::RelayingIPv4 : RelayState::Relaying);
        break;
    case RelayOutcome::Unreachable:
        SetState(RelayState::Unreachable);
        break;
    case RelayOutcome::Refused:
        SetState(RelayState::Refused);
        break;
    }
    if (trackSet) *trackSet = channel.trackSet && trackRead;
    return channel.node;
}

void EndBroadcastRelay() {
    std::unique_ptr<EndJob> job;
    {
        win::CsLock hold(g_lock);
        // A channel whose making was cut short by the stop may be on the node all the same.
        if (g_opened.outcome == RelayOutcome::Created || g_opened.maybeMade)
            job.reset(new EndJob{g_opened, g_openedPort});
        g_opened = RelayChannel();
    }
    SetState(RelayState::Off);
    if (!job) return;
    // The previous ending thread, if any, has ended: this broadcast's worker waited for it.
    AwaitRelayEnd(kRelayQuitWaitMs);
    g_ending = 1;
    // Quit waits for it only so long: the player may then free the DLL while a firewall still
    // holds the thread in a socket call, so the thread keeps the module loaded itself.
    g_ender = win::StartModuleThread(EndChannel, job.get());
    if (g_ender) {
        job.release();  // the thread owns it now
    } else {
        g_ending = 0;
    }
}

void AwaitRelayEnd(DWORD ms) {
    if (!g_ender) return;
    if (::WaitForSingleObject(g_ender.get(), ms) == WAIT_OBJECT_0) g_ender.reset();
}

}  // namespace ombrel
