#include "plugin/SongWorker.h"

#include <atomic>
#include <memory>
#include <new>
#include <string>

#include "plugin/BroadcastControl.h"
#include "plugin/CurrentFile.h"
#include "plugin/GuardedCopy.h"
#include "plugin/PlayLog.h"
#include "plugin/PlayerAsk.h"
#include "plugin/PlayerRequests.h"
#include "plugin/PlaylistEntry.h"
#include "plugin/PluginState.h"
#include "plugin/RelayChannelControl.h"
#include "plugin/Settings.h"
#include "plugin/UpdateSongInfo.h"
#include "win/CriticalSection.h"
#include "win/ExceptionFirewall.h"
#include "win/ModuleThread.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

// One broadcast's worker. Shared by the thread and the stop: a stop that does not wait for a
// host's late answer leaves the thread its own reference.
struct WorkerContext {
    HWND player = nullptr;
    // The file playing when the broadcast started, taken before the worker runs so that a file
    // announced meanwhile is a change of its own.
    PlayingFile startFile;
    win::UniqueEvent wake;
    std::atomic<LONG> stop{0};
    std::atomic<LONG> asking{0};     // inside a request to the player
    std::atomic<LONG> relayDone{0};  // past the relay channel's opening
};

win::UniqueThread _hSongThread;
std::shared_ptr<WorkerContext> g_worker;  // main thread
// The hooks signal the current worker's event while the main thread may be starting or stopping it.
win::CriticalSection g_eventLock;
HANDLE g_wakeEvent = nullptr;

const std::atomic<LONG> kNoStop{0};
thread_local const std::atomic<LONG>* t_stop = nullptr;

// What the hooks have seen of the player's own announcements since the plug-in was loaded.
std::atomic<LONG> g_announcements{0};
std::atomic<DWORD> g_lastAnnouncement{0};

// Between two looks at the player's current entry.
constexpr DWORD kPollPeriodMs = 1000;
// On a player that announces its files, a change the poll sees this close to an announcement is
// that announcement's track.
constexpr DWORD kAnnouncementReachMs = 3000;
// How many looks an announced update that failed (no answer in time, say) is tried again in.
constexpr int kAnnouncementRetries = 3;
// A stop waits this long for a worker that waits for the player's answer, then leaves it to end
// when the answer or its bound comes.
constexpr DWORD kStopWaitForPlayerMs = 40;

void LogTrack(const WorkerContext& context, const std::string& title) {
    if (!context.stop && IsBroadcasting() && _settings.extra._fPlayLog) AppendPlayLogLine(title);
}

// Follows one broadcast: its first track at once, then the hooks' announcements and, about once a
// second, the player's current entry for the hosts that announce nothing.
class TrackFollower {
public:
    explicit TrackFollower(WorkerContext& context) : context_(context), player_(context.player) {}

    void FirstTrack() {
        ReadPlaylistEntry(player_, &seen_);
        PlayingFile start = context_.startFile;
        const bool playing = AskPlayerIsPlaying(player_);
        if (playing && start.path.empty() && !seen_.path.empty()) {
            SetCurrentFile(seen_.path);
            start = CurrentPlayingFile();
        }
        bool trackSet = false;
        node_ = OpenBroadcastRelay(player_, start, &context_.stop, &trackSet);
        context_.relayDone = 1;
        if (context_.stop) return;
        if (trackSet) last_ = start;
        // No node answered a moment ago: another try would only hold the first caption (about 2 s
        // per attempt on Windows); the next track change tries again. Where the channel's creation
        // set the track, the caption alone goes out.
        const bool toPeerCast = !trackSet && CurrentRelayState() != RelayState::Unreachable;
        if (!playing) {
            // Nothing sounds yet: the node learns of the file current now, the caption waits for the play.
            if (toPeerCast && SendCurrentTrackToPeerCast(player_, start, &node_) == S_OK) last_ = start;
            return;
        }
        if (start.path.empty() && seen_.Empty()) return;
        LogTrack(context_, seen_.titleAnsi);
        if (!_fSongDetect) return;
        bool took = false;
        // A player busy past the bound: the next looks try the track again (as announced).
        if (FAILED(UpdateSongInfoOf(player_, &start, toPeerCast, false, &node_, &took)))
            retries_ = kAnnouncementRetries;
        if (took) last_ = start;
    }

    void Announced() {
        // The player sends the UTF-16 announcement right after the ANSI one, from the same
        // thread: this request is answered only after both, so the record read next is whole.
        AskPlayerHasUnicode(player_);
        PlayingFile current = CurrentPlayingFile();
        retries_ = 0;
        if (!current.path.empty()) {
            const bool changed = current != last_;
            bool took = false;
            // A player busy past the bound loses no announcement: the next looks try it again.
            if (FAILED(UpdateSongInfo(player_, changed, false, &node_, &took))) retries_ = kAnnouncementRetries;
            if (took) last_ = std::move(current);
        }
        ReadPlaylistEntry(player_, &seen_);
        pending_ = false;
    }

    // The poll's turn: an announcement whose update failed goes first.
    void Look() {
        if (retries_ == 0) {
            Poll();
            return;
        }
        --retries_;
        const int left = retries_;
        Announced();
        if (retries_) retries_ = left;
    }

    void Poll() {
        // A playlist browsed while stopped is no track; the change counts once it plays.
        if (!AskPlayerIsPlaying(player_)) return;
        PlaylistEntry now;
        if (!ReadPlaylistEntry(player_, &now) || now == seen_) {
            pending_ = false;
            return;
        }
        if (g_announcements) {
            // A player that announces: its announcement counts, and the poll takes only what it
            // did not announce, at a second look.
            if (::GetTickCount() - g_lastAnnouncement < kAnnouncementReachMs) {
                seen_ = now;
                pending_ = false;
                return;
            }
            if (!pending_) {
                pending_ = true;
                return;
            }
        }
        seen_ = now;
        pending_ = false;
        if (now.path != CurrentPlayingFile().path) SetCurrentFile(now.path);
        LogTrack(context_, now.titleAnsi);
        if (!_fSongDetect) return;
        bool took = false;
        UpdateSongInfo(player_, true, false, &node_, &took);
        if (took) last_ = CurrentPlayingFile();
    }

private:
    WorkerContext& context_;
    HWND player_;
    // The interface this broadcast's node answered on; forgotten at the next broadcast.
    PeerCastInterface node_ = PeerCastInterface::Unknown;
    // The file the node took last. It starts empty, so a broadcast's first announced track counts
    // as changed; a file the node did not take is tried again when it is announced again.
    PlayingFile last_;
    // The entry the poll saw last, and whether a change it saw waits for a second look.
    PlaylistEntry seen_;
    bool pending_ = false;
    // Looks left in which an announced update that failed is tried again.
    int retries_ = 0;
};

DWORD WINAPI SongWorker(LPVOID parameter) {
    std::shared_ptr<WorkerContext> context = std::move(*static_cast<std::shared_ptr<WorkerContext>*>(parameter));
    delete static_cast<std::shared_ptr<WorkerContext>*>(parameter);
    t_stop = &context->stop;
    WatchPlayerAsks({&context->stop, &context->asking});
    const HANDLE wake = context->wake.get();
    TrackFollower follower(*context);
    if (context->stop) return 0;
    win::Firewall([&] { follower.FirstTrack(); });
    context->relayDone = 1;
    DWORD nextPoll = ::GetTickCount() + kPollPeriodMs;
    while (!context->stop) {
        const LONG left = static_cast<LONG>(nextPoll - ::GetTickCount());
        const DWORD woke = ::WaitForSingleObject(wake, left > 0 ? static_cast<DWORD>(left) : 0);
        if (context->stop) break;
        if (woke == WAIT_OBJECT_0) {
            win::Firewall([&] { follower.Announced(); });
        } else if (woke == WAIT_TIMEOUT) {
            nextPoll = ::GetTickCount() + kPollPeriodMs;
            win::Firewall([&] { follower.Look(); });
        } else {
            break;
        }
    }
    return 0;
}

void WakeWorker() {
    win::CsLock hold(g_eventLock);
    if (g_wakeEvent) ::SetEvent(g_wakeEvent);
}

// Answers other threads' sends meanwhile (the worker may be waiting for this thread's window).
// A worker inside a request to a player window of another thread is not waited for past a
// moment: its bound ends it, and it touches nothing of the broadcast after the stop.
void AwaitWorker(HANDLE thread, const WorkerContext& context) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(1, &thread, 10, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) return;
        if (context.asking && context.relayDone && ::GetTickCount() - start >= kStopWaitForPlayerMs) return;
    }
}

}  // namespace

void ForgetAnnouncements() {
    g_announcements = 0;
    g_lastAnnouncement = 0;
}

void NoteAnnouncement() {
    g_lastAnnouncement = ::GetTickCount();
    ++g_announcements;
}

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
    auto context = std::make_shared<WorkerContext>();
    context->player = player;
    context->startFile = CurrentPlayingFile();
    context->wake.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!context->wake) return E_FAIL;
    auto* handOver = new (std::nothrow) std::shared_ptr<WorkerContext>(context);
    if (!handOver) return E_FAIL;
    {
        win::CsLock hold(g_eventLock);
        g_wakeEvent = context->wake.get();
    }
    _hSongThread = win::StartModuleThread(SongWorker, handOver);
    if (!_hSongThread) {
        delete handOver;
        win::CsLock hold(g_eventLock);
        g_wakeEvent = nullptr;
        return E_FAIL;
    }
    g_worker = std::move(context);
    return S_OK;
}

HRESULT StopSongWorker() {
    if (!_hSongThread) return E_FAIL;
    std::shared_ptr<WorkerContext> context = std::move(g_worker);
    context->stop = 1;
    {
        win::CsLock hold(g_eventLock);
        g_wakeEvent = nullptr;
    }
    ::SetEvent(context->wake.get());
    AwaitWorker(_hSongThread.get(), *context);
    _hSongThread.reset();
    return S_OK;
}

bool SongWorkerRunning() { return static_cast<bool>(_hSongThread); }

const std::atomic<LONG>& SongWorkerStopRequest() { return t_stop ? *t_stop : kNoStop; }

}  // namespace ombrel
