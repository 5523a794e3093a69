#include "standin/player/PlaybackControl.h"

namespace standin {

PlaybackControl::PlaybackControl()
    : wake_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      announced_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

void PlaybackControl::Reset() {
    win::CsLock hold(lock_);
    flags_.stop = false;
    flags_.next = false;
    ::ResetEvent(wake_.get());
    ::ResetEvent(announced_.get());
}

void PlaybackControl::SignalAnnounced() { ::SetEvent(announced_.get()); }

WaitOutcome PlaybackControl::WaitForAnnouncement() {
    const HANDLE events[] = {announced_.get(), wake_.get()};
    for (;;) {
        {
            win::CsLock hold(lock_);
            if (flags_.stop) return WaitOutcome::Stop;
        }
        if (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0)
            return WaitOutcome::Due;
    }
}

void PlaybackControl::RequestStop() {
    {
        win::CsLock hold(lock_);
        flags_.stop = true;
    }
    ::SetEvent(wake_.get());
}

void PlaybackControl::RequestNext() {
    {
        win::CsLock hold(lock_);
        flags_.next = true;
    }
    ::SetEvent(wake_.get());
}

void PlaybackControl::SetPaused(bool paused) {
    {
        win::CsLock hold(lock_);
        flags_.paused = paused;
    }
    ::SetEvent(wake_.get());
}

PlaybackControl::Flags PlaybackControl::Read() {
    win::CsLock hold(lock_);
    Flags now = flags_;
    flags_.next = false;  // a next request is used up by the one who sees it
    return now;
}

WaitOutcome PlaybackControl::WaitForBlock(Pacer& pacer, uint64_t framePosition) {
    for (;;) {
        const Flags now = Read();
        if (now.stop) return WaitOutcome::Stop;
        if (now.next) return WaitOutcome::Next;
        if (now.paused) {
            pacer.PauseBegan();
            for (;;) {
                ::WaitForSingleObject(wake_.get(), INFINITE);
                win::CsLock hold(lock_);
                if (!flags_.paused || flags_.stop) break;
            }
            pacer.PauseEnded();
            continue;
        }
        const DWORD wait = pacer.MillisecondsUntil(framePosition);
        if (wait == 0) return WaitOutcome::Due;
        ::WaitForSingleObject(wake_.get(), wait);
    }
}

}  // namespace standin
