// The thread that encodes a compressed audio stream. The writer's WriteSample, on the player's
// audio thread, only copies the PCM into a queue of fixed size and returns, as the runtime's
// does; this thread encodes it and hands the blocks to the writer. The queue's lock is held
// for index updates and copies only, never while encoding. The thread looks at the queue every
// few milliseconds rather than being woken for each sample, which would cost the writer a
// system call per block.
#pragma once

#include "encoder/WmSdk.h"

#include <memory>
#include <vector>

#include "standin/wmvcore/ByteRing.h"
#include "standin/wmvcore/WmaEncoder.h"
#include "win/CriticalSection.h"
#include "win/UniqueAny.h"

namespace wmstandin {

class EncodingThread {
public:
    // Room for the PCM waiting to be encoded: 11 seconds of 16-bit stereo at 48 kHz, 2.4 of
    // 24-bit 5.1; the encoder keeps up with real time many times over.
    static constexpr DWORD kQueueBytes = 2 * 1024 * 1024;
    static constexpr DWORD kQueueSamples = 1024;
    static constexpr DWORD kPollMs = 10;

    EncodingThread() = default;
    ~EncodingThread();
    EncodingThread(const EncodingThread&) = delete;
    EncodingThread& operator=(const EncodingThread&) = delete;

    // Opens the encoder for the stream's format and starts the thread, which calls out with each
    // block until Finish. The queue's room is taken here, once.
    HRESULT Start(const WAVEFORMATEX& stream, EncodedOutput* out) noexcept;
    // The audio thread's part: copies one sample of PCM in the input's format, allocating
    // nothing. E_OUTOFMEMORY when the queue has no room for it (the encoder is behind): the
    // sample is dropped and the stream goes on after it.
    HRESULT Push(const WAVEFORMATEX& input, QWORD time, const BYTE* data, DWORD bytes) noexcept;
    // Returns once every sample pushed so far is encoded.
    void WaitEncoded() noexcept;
    // Encodes what is queued and the encoder's remainder, then ends the thread. The first
    // encoding failure since Start, if any, is the result.
    HRESULT Finish() noexcept;
    // Ends the thread after the queued samples, without the encoder's remainder; false when it
    // was not running.
    bool Stop() noexcept;
    bool Running() const noexcept { return static_cast<bool>(thread_); }
    // Samples pushed and not yet encoded (one being encoded counts).
    bool Behind() noexcept;

private:
    struct Pending {
        WAVEFORMATEX input{};
        QWORD time = 0;
        DWORD bytes = 0;
    };

    static DWORD WINAPI ThreadMain(void* self) noexcept;
    void Run() noexcept;
    // Under the lock: the oldest sample copied into work_, false when none.
    bool TakeOldest(Pending* taken);

    WmaEncoder encoder_;
    EncodedOutput* out_ = nullptr;
    win::CriticalSection lock_;
    ByteRing bytes_;
    std::vector<Pending> pending_;  // a ring of kQueueSamples slots
    size_t head_ = 0;
    size_t count_ = 0;
    bool busy_ = false;  // the thread holds a sample taken from the queue
    bool stopping_ = false;
    HRESULT failure_ = S_OK;
    std::vector<BYTE> work_;  // the thread's copy of the sample it encodes
    win::UniqueEvent wake_;
    win::UniqueEvent idle_;
    win::UniqueThread thread_;
};

}  // namespace wmstandin
