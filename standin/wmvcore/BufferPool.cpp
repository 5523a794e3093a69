#include "standin/wmvcore/BufferPool.h"

#include <cstring>
#include <new>

namespace wmstandin {

Buffer* BufferPool::Pop(DWORD size, DWORD* room) noexcept {
    win::CsLock hold(lock_);
    if (size > largest_) largest_ = size;
    *room = largest_;
    Buffer* buffer = free_;
    if (buffer) free_ = buffer->nextFree;
    ++held_;
    return buffer;
}

HRESULT BufferPool::Take(DWORD size, INSSBuffer** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    // A buffer gets room for the largest size asked so far, so it grows at most once or twice
    // however the sizes asked for alternate.
    DWORD room = size;
    Buffer* buffer = Pop(size, &room);
    try {
        if (!buffer) {
            buffer = new Buffer(room);
            buffer->pool = this;
        } else if (buffer->bytes.size() < size) {
            buffer->bytes.resize(room);
        }
    } catch (...) {
        if (buffer) {
            Return(buffer);
        } else {
            win::CsLock hold(lock_);
            --held_;
        }
        return E_OUTOFMEMORY;
    }
    buffer->nextFree = nullptr;
    buffer->refs = 1;
    buffer->maxLength = size;
    buffer->length = size;
    if (size) std::memset(buffer->bytes.data(), 0, size);
    *out = buffer;
    return S_OK;
}

HRESULT BufferPool::TakeCopy(const BYTE* bytes, DWORD size, INSSBuffer** out) noexcept {
    if (size && !bytes) return E_POINTER;
    HRESULT hr = Take(size, out);
    if (SUCCEEDED(hr) && size) std::memcpy(static_cast<Buffer*>(*out)->bytes.data(), bytes, size);
    return hr;
}

void BufferPool::Return(Buffer* buffer) noexcept {
    bool last = false;
    {
        win::CsLock hold(lock_);
        --held_;
        if (!closed_) {
            buffer->nextFree = free_;
            free_ = buffer;
            return;
        }
        last = held_ == 0;
    }
    delete buffer;
    if (last) delete this;
}

void BufferPool::Close() noexcept {
    Buffer* list = nullptr;
    bool last = false;
    {
        win::CsLock hold(lock_);
        closed_ = true;
        list = free_;
        free_ = nullptr;
        last = held_ == 0;
    }
    while (list) {
        Buffer* next = list->nextFree;
        delete list;
        list = next;
    }
    if (last) delete this;
}

}  // namespace wmstandin
