#include "plugin/SongTimer.h"

#include "plugin/BroadcastControl.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PluginState.h"
#include "plugin/UpdateSongInfo.h"
#include "win/ExceptionFirewall.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

win::UniqueThreadTimer _idTimer;
// Main thread only.
DWORD _dwTick = 0;

}  // namespace

void StartSongTimer() { _idTimer.reset(::SetTimer(nullptr, 0, kSongTimerPeriodMs, OnTimer)); }

void StopSongTimer() { _idTimer.reset(); }

bool SongTimerRunning() { return static_cast<bool>(_idTimer); }

DWORD SongTimerTick() { return _dwTick; }

void SetSongTimerTick(DWORD tick) { _dwTick = tick % kSongTimerCycle; }

VOID CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    win::Firewall([] {
        // The meter thread empties the bars on this answer.
        _fPlaying = AskPlayerIsPlaying(_hwndHost) ? 1 : 0;
        if (!IsBroadcasting() || !_fPlaying) return;
        const bool keepAlive = _dwTick != 0 || !_fSongDetect;
        UpdateSongInfo(_hwndHost, false, keepAlive);
        _dwTick = (_dwTick + 1) % kSongTimerCycle;
    });
}

}  // namespace ombrel
