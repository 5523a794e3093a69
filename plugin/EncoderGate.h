// How the audio thread borrows the broadcast's encoder without ever waiting.
//
// The audio thread marks itself inside, then reads the encoder; the main thread takes the
// encoder away, then waits until nobody is inside. Both sides use sequentially consistent
// operations (Dekker's pattern): whichever comes second sees the other's mark, so either the
// audio thread finds no encoder, or the main thread sees it inside and waits for it to leave.
// The audio thread never blocks; only a stop waits, and at most for one encoder call.
#pragma once

#include <windows.h>

#include <atomic>

#include "encoder/LiveEncoder.h"

namespace ombrel {

class EncoderGate {
public:
    EncoderGate() = default;
    EncoderGate(const EncoderGate&) = delete;
    EncoderGate& operator=(const EncoderGate&) = delete;

    // Main thread: lends encoder to later Enter calls.
    void Open(LiveEncoder* encoder) noexcept { encoder_.store(encoder); }
    // Main thread: takes the encoder back and returns once no caller still uses it.
    void Close() noexcept;

    // Audio thread: the encoder for this call, or null. Every Enter is followed by Leave.
    LiveEncoder* Enter() noexcept {
        inside_.fetch_add(1);
        return encoder_.load();
    }
    void Leave() noexcept { inside_.fetch_sub(1); }

    // Callers between Enter and Leave right now.
    LONG Inside() const noexcept { return inside_.load(); }

private:
    std::atomic<LiveEncoder*> encoder_{nullptr};
    std::atomic<LONG> inside_{0};
};

// One Enter and its Leave.
class EncoderGateUse {
public:
    explicit EncoderGateUse(EncoderGate& gate) noexcept : gate_(gate), encoder_(gate.Enter()) {}
    ~EncoderGateUse() { gate_.Leave(); }
    EncoderGateUse(const EncoderGateUse&) = delete;
    EncoderGateUse& operator=(const EncoderGateUse&) = delete;

    LiveEncoder* get() const noexcept { return encoder_; }

private:
    EncoderGate& gate_;
    LiveEncoder* encoder_;
};

}  // namespace ombrel
