// Reusable sample buffers for the writer: AllocateSample and the packets handed to the sinks
// take a buffer nobody holds, and a buffer returns with its last Release, so a steady stream
// allocates nothing. The pool grows only when every buffer is held. Its owner closes it; the
// buffers still held then are deleted with their last Release, the pool with the last of them.
#pragma once

#include "encoder/WmSdk.h"

#include <memory>

#include "standin/wmvcore/Buffer.h"
#include "win/CriticalSection.h"

namespace wmstandin {

class BufferPool {
public:
    struct Closer {
        void operator()(BufferPool* pool) const noexcept { pool->Close(); }
    };
    using Owner = std::unique_ptr<BufferPool, Closer>;

    static Owner Create() { return Owner(new BufferPool()); }

    // A buffer of size bytes (length size, zeroed) with one reference for the caller.
    HRESULT Take(DWORD size, INSSBuffer** out) noexcept;
    // A buffer holding a copy of bytes.
    HRESULT TakeCopy(const BYTE* bytes, DWORD size, INSSBuffer** out) noexcept;

    // Buffer::Release with the last reference.
    void Return(Buffer* buffer) noexcept;

private:
    BufferPool() = default;
    ~BufferPool() = default;
    void Close() noexcept;
    Buffer* Pop(DWORD size, DWORD* room) noexcept;

    win::CriticalSection lock_;
    Buffer* free_ = nullptr;  // the most recently returned first
    size_t held_ = 0;         // buffers out of the pool
    DWORD largest_ = 0;       // the largest size taken
    bool closed_ = false;
};

}  // namespace wmstandin
