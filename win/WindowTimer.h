// A window's timer: the window and the id together name it, so it cannot live in UniqueAny.
// Kill it before the window is gone; a timer of a destroyed window is already dead and the
// KillTimer then fails harmlessly.
#pragma once

#include <windows.h>

#include <atomic>
#include <utility>

namespace win {

class WindowTimer {
public:
    WindowTimer() noexcept = default;
    // Starts timer id of window with the given period; empty when SetTimer fails.
    WindowTimer(HWND window, UINT_PTR id, UINT periodMs) noexcept {
        if (window && ::SetTimer(window, id, periodMs, nullptr)) {
            window_ = window;
            id_ = id;
            ++live_;
        }
    }
    ~WindowTimer() { reset(); }

    WindowTimer(const WindowTimer&) = delete;
    WindowTimer& operator=(const WindowTimer&) = delete;
    WindowTimer(WindowTimer&& other) noexcept
        : window_(std::exchange(other.window_, nullptr)), id_(std::exchange(other.id_, 0)) {}
    WindowTimer& operator=(WindowTimer&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = std::exchange(other.window_, nullptr);
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }

    explicit operator bool() const noexcept { return window_ != nullptr; }

    void reset() noexcept {
        HWND window = std::exchange(window_, nullptr);
        if (window) {
            ::KillTimer(window, id_);
            --live_;
        }
        id_ = 0;
    }

    static long LiveCount() noexcept { return live_.load(); }

private:
    HWND window_ = nullptr;
    UINT_PTR id_ = 0;
    inline static std::atomic<long> live_{0};
};

}  // namespace win
