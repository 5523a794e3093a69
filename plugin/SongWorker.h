// The song worker: a thread from a successful broadcast start to the stop that follows the
// player's track changes, woken by an auto-reset event.
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

// Main thread, as a broadcast starts. The worker first opens the relay channel when that option
// is on (OpenBroadcastRelay) and sends the track of the file current now to PeerCast
// (SendCurrentTrackToPeerCast), then follows the announcements. E_FAIL when a
// worker already runs or cannot be started; 0 otherwise.
HRESULT StartSongWorker(HWND player);

// Main thread: asks the worker to end and waits for it, answering the messages other threads
// send meanwhile (the worker may be waiting for the player's window). A PeerCast update in
// progress is cancelled, so the wait is short whatever the node does. E_FAIL when none runs.
HRESULT StopSongWorker();

// Set by StopSongWorker before it wakes the worker; the worker's PeerCast update watches it.
const std::atomic<LONG>& SongWorkerStopRequest();

bool SongWorkerRunning();

}  // namespace ombrel
