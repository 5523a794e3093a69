// Nothing may unwind into the player: every entry point that Windows or the player calls
// runs its body through here.
#pragma once

#include <utility>

namespace win {

template <typename R, typename F>
R Firewall(R onException, F&& body) noexcept {
    try {
        return std::forward<F>(body)();
    } catch (...) {
        return onException;
    }
}

template <typename F>
void Firewall(F&& body) noexcept {
    try {
        std::forward<F>(body)();
    } catch (...) {
    }
}

}  // namespace win
