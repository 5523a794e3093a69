// A byte queue of fixed capacity in one block allocated up front. Appends copy into the free
// space and never allocate, so the plug-in's audio thread may fill it; another thread may read
// the front while appends go on, as the two never touch the same bytes. The owner serialises
// the calls themselves (the indices) with its own lock.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace wmstandin {

class ByteRing {
public:
    ByteRing() = default;
    ByteRing(ByteRing&& other) noexcept { *this = std::move(other); }
    ByteRing& operator=(ByteRing&& other) noexcept {
        bytes_ = std::move(other.bytes_);
        capacity_ = other.capacity_;
        head_ = other.head_;
        used_ = other.used_;
        other.capacity_ = other.head_ = other.used_ = 0;
        return *this;
    }

    // Replaces the block with a zeroed one, so its pages are touched here rather than by the
    // first appends; false when memory ran out, leaving an empty ring of no capacity.
    bool Allocate(size_t capacity) noexcept {
        bytes_.reset(new (std::nothrow) BYTE[capacity]());
        capacity_ = bytes_ ? capacity : 0;
        head_ = 0;
        used_ = 0;
        return bytes_ != nullptr;
    }

    // Empties the ring and keeps its block.
    void Clear() noexcept {
        head_ = 0;
        used_ = 0;
    }

    size_t Capacity() const noexcept { return capacity_; }
    size_t Used() const noexcept { return used_; }
    size_t Free() const noexcept { return capacity_ - used_; }

    // All of the bytes, or none when they do not fit.
    bool Append(const BYTE* data, size_t size) noexcept {
        if (size > Free()) return false;
        if (size == 0) return true;
        const size_t tail = (head_ + used_) % capacity_;
        const size_t first = std::min(size, capacity_ - tail);
        std::memcpy(bytes_.get() + tail, data, first);
        std::memcpy(bytes_.get(), data + first, size - first);
        used_ += size;
        return true;
    }

    // The oldest bytes that lie in one piece; none when the ring is empty.
    const BYTE* Front(size_t* size) const noexcept {
        *size = std::min(used_, capacity_ - head_);
        return bytes_.get() + head_;
    }

    void Consume(size_t size) noexcept {
        size = std::min(size, used_);
        used_ -= size;
        head_ = used_ == 0 ? 0 : (head_ + size) % capacity_;
    }

private:
    std::unique_ptr<BYTE[]> bytes_;
    size_t capacity_ = 0;
    size_t head_ = 0;
    size_t used_ = 0;
};

}  // namespace wmstandin
