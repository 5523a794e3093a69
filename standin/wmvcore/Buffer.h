// INSSBuffer: a block of bytes with a maximum and a current length. A buffer of a pool goes back
// to its pool with its last reference and keeps its bytes for the next sample; any other one is
// deleted.
#pragma once

#include "encoder/WmSdk.h"

#include <vector>

namespace wmstandin {

class BufferPool;

struct Buffer final : INSSBuffer {
    LONG refs = 1;
    BufferPool* pool = nullptr;  // null: deleted with the last reference
    Buffer* nextFree = nullptr;  // the pool's list of buffers nobody holds
    std::vector<BYTE> bytes;     // at least maxLength bytes
    DWORD maxLength = 0;
    DWORD length = 0;

    explicit Buffer(DWORD size);
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // Buffers in existence, pooled or not: what a test compares before and after.
    static LONG Live() noexcept;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetLength(DWORD* out) override;
    HRESULT STDMETHODCALLTYPE SetLength(DWORD value) override;
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* out) override;
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** out) override;
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** out, DWORD* outLength) override;
};

}  // namespace wmstandin
