#include "standin/wmvcore/EncodingThread.h"

#include <nserror.h>

#include <cstring>

#include "standin/wmvcore/PcmConverter.h"

namespace wmstandin {

EncodingThread::~EncodingThread() { Stop(); }

HRESULT EncodingThread::Start(const WAVEFORMATEX& stream, EncodedOutput* out) noexcept {
    if (thread_) return NS_E_INVALID_REQUEST;
    HRESULT hr = encoder_.Open(stream);
    if (FAILED(hr)) return hr;
    try {
        pending_.resize(kQueueSamples);
        work_.reserve(kQueueBytes);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (bytes_.Capacity() != kQueueBytes && !bytes_.Allocate(kQueueBytes)) return E_OUTOFMEMORY;
    bytes_.Clear();
    head_ = count_ = 0;
    busy_ = stopping_ = false;
    failure_ = S_OK;
    out_ = out;
    if (!wake_) wake_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!idle_) idle_.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!wake_ || !idle_) return HRESULT_FROM_WIN32(::GetLastError());
    thread_.reset(::CreateThread(nullptr, 0, &EncodingThread::ThreadMain, this, 0, nullptr));
    if (!thread_) return HRESULT_FROM_WIN32(::GetLastError());
    return S_OK;
}

HRESULT EncodingThread::Push(const WAVEFORMATEX& input, QWORD time, const BYTE* data, DWORD bytes) noexcept {
    if (!IsSupportedPcm(input)) return NS_E_INVALID_INPUT_FORMAT;
    if (bytes % input.nBlockAlign != 0) return E_INVALIDARG;
    {
        win::CsLock hold(lock_);
        if (stopping_ || !thread_) return NS_E_INVALID_REQUEST;
        if (count_ == pending_.size() || bytes > bytes_.Free()) return E_OUTOFMEMORY;
        bytes_.Append(data, bytes);
        Pending& slot = pending_[(head_ + count_) % pending_.size()];
        slot.input = input;
        slot.time = time;
        slot.bytes = bytes;
        ++count_;
    }
    // No wake-up call: under Wine an event is a round trip to the wineserver, tens of
    // microseconds the audio thread would wait. The encoding thread looks every kPollMs.
    return S_OK;
}

bool EncodingThread::TakeOldest(Pending* taken) {
    if (count_ == 0) return false;
    *taken = pending_[head_];
    work_.resize(taken->bytes);
    // The sample may wrap around the ring's end: two pieces.
    for (DWORD copied = 0; copied < taken->bytes;) {
        size_t piece = 0;
        const BYTE* front = bytes_.Front(&piece);
        if (piece > taken->bytes - copied) piece = taken->bytes - copied;
        std::memcpy(work_.data() + copied, front, piece);
        bytes_.Consume(piece);
        copied += static_cast<DWORD>(piece);
    }
    head_ = (head_ + 1) % pending_.size();
    --count_;
    return true;
}

DWORD WINAPI EncodingThread::ThreadMain(void* self) noexcept {
    static_cast<EncodingThread*>(self)->Run();
    return 0;
}

void EncodingThread::Run() noexcept {
    bool worked = false;
    for (;;) {
        Pending sample;
        bool taken = false;
        {
            win::CsLock hold(lock_);
            taken = TakeOldest(&sample);
            busy_ = taken;
            if (!taken && stopping_) return;
        }
        if (!taken) {
            if (worked) {
                out_->CaughtUp();
                ::SetEvent(idle_.get());
            }
            worked = false;
            ::WaitForSingleObject(wake_.get(), kPollMs);
            continue;
        }
        worked = true;
        const HRESULT hr = encoder_.Encode(sample.input, sample.time, work_.data(), sample.bytes, *out_);
        win::CsLock hold(lock_);
        if (FAILED(hr) && SUCCEEDED(failure_)) failure_ = hr;
    }
}

bool EncodingThread::Behind() noexcept {
    win::CsLock hold(lock_);
    return count_ > 0 || busy_;
}

void EncodingThread::WaitEncoded() noexcept {
    if (wake_) ::SetEvent(wake_.get());
    for (;;) {
        {
            win::CsLock hold(lock_);
            if (!thread_ || (count_ == 0 && !busy_)) return;
        }
        // The idle signal may be an old one: look again after each.
        ::WaitForSingleObject(idle_.get(), 20);
    }
}

bool EncodingThread::Stop() noexcept {
    if (!thread_) return false;
    {
        win::CsLock hold(lock_);
        stopping_ = true;
    }
    ::SetEvent(wake_.get());
    ::WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
    return true;
}

HRESULT EncodingThread::Finish() noexcept {
    if (!Stop()) return S_OK;
    HRESULT hr = encoder_.Finish(*out_);
    if (FAILED(failure_)) hr = failure_;
    return hr;
}

}  // namespace wmstandin
