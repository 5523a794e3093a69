// The song worker: a thread from a successful broadcast start to the stop that follows the
// player's track changes, woken by an auto-reset event for each announcement the hooks see and
// looking at the player's current entry about once a second for the hosts that announce nothing.
#pragma once

#include <windows.h>

#include <atomic>

namespace ombrel {

// Stores the announced path (when not null) as the current file and wakes the worker, if one
// runs. The path comes from the player and is read guarded: an unreadable one changes nothing
// and gives E_FAIL.
HRESULT NotifyPlayingFile(const char* path);

// The UTF-16 announcement of a 5.3 or later player (13003), sent beside the ANSI one for the same
// file: whichever of the two comes second completes the record and wakes nothing. A null or
// unreadable path changes nothing and gives E_FAIL.
HRESULT NotifyPlayingFileW(const wchar_t* path);

// The hooks saw the player announce a file (3003 or 13003): from then on the player counts as one
// that announces, and the worker's poll leaves a change seen near an announcement to it.
void NoteAnnouncement();
// Init: a newly loaded plug-in knows nothing yet of its player's announcements.
void ForgetAnnouncements();

// Main thread, as a broadcast starts. The worker first opens the relay channel when that option
// is on (OpenBroadcastRelay), then writes the current track's play log line and sends its caption
// and PeerCast update, then follows the track changes. E_FAIL when a worker already runs or cannot
// be started; 0 otherwise.
HRESULT StartSongWorker(HWND player);

// Main thread: asks the worker to end and waits for it, answering the messages other threads
// send meanwhile (the worker may be waiting for the player's window). A PeerCast update in
// progress is cancelled, so the wait is short whatever the node does; a worker waiting for a
// player window of another thread is left to end when its bounded request does (it holds the
// module and touches nothing of the broadcast after the stop). E_FAIL when none runs.
HRESULT StopSongWorker();

// On a worker: set by StopSongWorker before it wakes the worker; the worker's PeerCast update and
// script command watch it. On any other thread: never set.
const std::atomic<LONG>& SongWorkerStopRequest();

bool SongWorkerRunning();

}  // namespace ombrel
