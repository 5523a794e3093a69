#include "plugin/SongWorker.h"

#include <atomic>
#include <string>

#include "plugin/CurrentFile.h"
#include "plugin/GuardedCopy.h"
#include "plugin/PlayerRequests.h"
#include "plugin/RelayChannelControl.h"
#include "plugin/SentMessageWait.h"
#include "plugin/UpdateSongInfo.h"
#include "win/CriticalSection.h"
#include "win/ExceptionFirewall.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

win::UniqueThread _hSongThread;
win::UniqueEvent _hSongEvent;
std::atomic<LONG> _fSongStop{0};
// The hooks signal the event while the main thread may be creating or closing it.
win::CriticalSection g_eventLock;
// The file playing when the broadcast started, taken before the worker runs so that a file
// announced meanwhile is a change of its own. Written before the thread is created, read by it.
PlayingFile g_startFile;

DWORD WINAPI SongWorker(LPVOID parameter) {
    HWND player = static_cast<HWND>(parameter);
    // Created before this thread and closed only after it ended.
    HANDLE wake = _hSongEvent.get();
    // The worker lives for one broadcast, so what the node answered is forgotten at the next.
    PeerCastInterface node = PeerCastInterface::Unknown;
    // The file the node took last. It starts empty, so a broadcast's first announced track counts
    // as changed; a file the node did not take (absent, refused, no channel yet) is tried again
    // when it is announced again.
    PlayingFile last;
    if (_fSongStop) return 0;
    win::Firewall([&] {
        bool trackSet = false;
        node = OpenBroadcastRelay(player, g_startFile, &_fSongStop, &trackSet);
        if (trackSet) {
            last = g_startFile;
            return;
        }
        // No node answered a moment ago: another try would only hold the first caption (about 2 s
        // per attempt on Windows); the next track change tries again.
        if (_fSongStop || CurrentRelayState() == RelayState::Unreachable) return;
        // Taken already, so the same file announced again is no change.
        if (SendCurrentTrackToPeerCast(player, g_startFile, &node) == S_OK) last = g_startFile;
    });
    for (;;) {
        if (::WaitForSingleObject(wake, INFINITE) != WAIT_OBJECT_0 || _fSongStop) return 0;
        win::Firewall([&] {
            // The player sends the UTF-16 announcement right after the ANSI one, from the same
            // thread: this request is answered only after both, so the record read next is whole.
            AskPlayerHasUnicode(player);
            PlayingFile current = CurrentPlayingFile();
            if (current.path.empty()) return;
            const bool changed = current != last;
            bool took = false;
            UpdateSongInfo(player, changed, false, &node, &took);
            if (took) last = std::move(current);
        });
        if (_fSongStop) return 0;
    }
}

}  // namespace

namespace {

void WakeWorker() {
    win::CsLock hold(g_eventLock);
    if (_hSongEvent) ::SetEvent(_hSongEvent.get());
}

}  // namespace

HRESULT NotifyPlayingFile(const char* path) {
    if (path) {
        std::string copy;
        if (!CopyStringGuarded(path, &copy)) return E_FAIL;
        if (!AnnounceCurrentFile(copy)) return S_OK;
    }
    WakeWorker();
    return S_OK;
}

HRESULT NotifyPlayingFileW(const wchar_t* path) {
    std::wstring copy;
    if (!path || !CopyWideStringGuarded(path, &copy)) return E_FAIL;
    if (AnnounceCurrentFileW(copy)) WakeWorker();
    return S_OK;
}

HRESULT StartSongWorker(HWND player) {
    if (_hSongThread) return E_FAIL;
    _fSongStop = 0;
    g_startFile = CurrentPlayingFile();
    {
        win::CsLock hold(g_eventLock);
        _hSongEvent.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
        if (!_hSongEvent) return E_FAIL;
    }
    _hSongThread.reset(::CreateThread(nullptr, 0, SongWorker, player, 0, nullptr));
    if (!_hSongThread) {
        win::CsLock hold(g_eventLock);
        _hSongEvent.reset();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT StopSongWorker() {
    if (!_hSongThread) return E_FAIL;
    _fSongStop = 1;
    {
        win::CsLock hold(g_eventLock);
        ::SetEvent(_hSongEvent.get());
    }
    WaitAnsweringSentMessages(_hSongThread.get());
    _hSongThread.reset();
    win::CsLock hold(g_eventLock);
    _hSongEvent.reset();
    return S_OK;
}

bool SongWorkerRunning() { return static_cast<bool>(_hSongThread); }

const std::atomic<LONG>& SongWorkerStopRequest() { return _fSongStop; }

}  // namespace ombrel
