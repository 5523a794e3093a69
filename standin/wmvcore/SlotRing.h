// A queue in a ring of reused slots: a slot keeps what it holds (a vector's capacity) for the
// next element, and the ring grows, the only allocation, when every slot is in use.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace wmstandin {

template <typename T>
class SlotRing {
public:
    bool Empty() const noexcept { return count_ == 0; }
    size_t Size() const noexcept { return count_; }
    T& Front() noexcept { return slots_[head_]; }
    T& operator[](size_t i) noexcept { return slots_[(head_ + i) % slots_.size()]; }
    const T& operator[](size_t i) const noexcept { return slots_[(head_ + i) % slots_.size()]; }

    // The slot after the last, holding whatever its previous element left there.
    T& PushBack() {
        if (count_ == slots_.size()) Grow();
        T& slot = slots_[(head_ + count_) % slots_.size()];
        ++count_;
        return slot;
    }
    void PopFront() noexcept {
        head_ = (head_ + 1) % slots_.size();
        --count_;
    }

private:
    void Grow() {
        std::vector<T> bigger(std::max<size_t>(8, slots_.size() * 2));
        for (size_t i = 0; i < slots_.size(); ++i) bigger[i] = std::move((*this)[i]);
        slots_.swap(bigger);
        head_ = 0;
    }

    std::vector<T> slots_;
    size_t head_ = 0;
    size_t count_ = 0;
};

}  // namespace wmstandin
