#include "plugin/SongTimer.h"

#include "plugin/BroadcastControl.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PluginState.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

win::UniqueThreadTimer _idTimer;

}  // namespace

void StartSongTimer() { _idTimer.reset(::SetTimer(nullptr, 0, kSongTimerPeriodMs, OnTimer)); }

void StopSongTimer() { _idTimer.reset(); }

bool SongTimerRunning() { return static_cast<bool>(_idTimer); }

VOID CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    // The meter thread empties the bars on this answer.
    _fPlaying = AskPlayerIsPlaying(_hwndHost) ? 1 : 0;
    if (!IsBroadcasting() || !_fPlaying) return;
    // The title refresh of a playing broadcast follows with song tracking (issue #6).
}

}  // namespace ombrel
