#include "plugin/PlayerAsk.h"

#include <atomic>

#include "plugin/PlayerRequests.h"

namespace ombrel {
namespace {

thread_local PlayerAskWatch t_watch;
// The window that did not answer in time, and the tick until which other threads' requests to it
// fail at once; 0 while it answers.
std::atomic<HWND> g_quietWindow{nullptr};
std::atomic<DWORD> g_quietUntil{0};

bool InQuietTime(HWND player) {
    const DWORD until = g_quietUntil.load();
    return until != 0 && g_quietWindow.load() == player && static_cast<LONG>(until - ::GetTickCount()) > 0;
}

}  // namespace

bool OnPlayerThread(HWND player) {
    return player && ::GetWindowThreadProcessId(player, nullptr) == ::GetCurrentThreadId();
}

bool PlayerSharesProcess(HWND player) {
    DWORD process = 0;
    return player && ::GetWindowThreadProcessId(player, &process) != 0 && process == ::GetCurrentProcessId();
}

bool IsPlayerPointer(HWND player, LRESULT answer) {
    return static_cast<ULONG_PTR>(answer) >= 0x10000 && PlayerSharesProcess(player);
}

bool AskPlayer(HWND player, WPARAM wParam, LPARAM request, LRESULT* answer) {
    *answer = 0;
    if (!player || (t_watch.stop && *t_watch.stop)) return false;
    if (OnPlayerThread(player)) {
        *answer = ::SendMessageA(player, kPlayerMessage, wParam, request);
        return true;
    }
    if (InQuietTime(player)) return false;
    DWORD_PTR result = 0;
    if (t_watch.asking) *t_watch.asking = 1;
    const LRESULT sent = ::SendMessageTimeoutA(player, kPlayerMessage, wParam, request,
                                               SMTO_ABORTIFHUNG | SMTO_BLOCK, kPlayerAnswerMs, &result);
    if (t_watch.asking) *t_watch.asking = 0;
    if (!sent) {
        // Not a window any more, or no answer in time: either way nothing to wait for again soon.
        if (::IsWindow(player)) {
            g_quietWindow = player;
            g_quietUntil = (::GetTickCount() + kPlayerQuietMs) | 1;
        }
        return false;
    }
    if (g_quietWindow.load() == player) g_quietUntil = 0;
    *answer = static_cast<LRESULT>(result);
    return !(t_watch.stop && *t_watch.stop);
}

LRESULT AskPlayerVersion(HWND player) {
    LRESULT version = 0;
    if (!AskPlayer(player, 0, kRequestVersion, &version)) return 0;
    return version >= 0x2000 && version <= 0x5FFF ? version : 0;
}

void WatchPlayerAsks(const PlayerAskWatch& watch) { t_watch = watch; }

}  // namespace ombrel
