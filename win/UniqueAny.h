// One move-only owner for every kind of Win32 handle; the closer is part of the type.
// Each handle kind counts its live owners, so tests and the soak run can see leaks.
#pragma once

#include <windows.h>

#include <atomic>
#include <utility>

namespace win {

template <typename Traits>
class UniqueAny {
public:
    using Type = typename Traits::Type;

    UniqueAny() noexcept = default;
    explicit UniqueAny(Type value) noexcept : value_(value) {
        if (IsValid()) ++live_;
    }
    ~UniqueAny() { reset(); }

    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    UniqueAny(UniqueAny&& other) noexcept : value_(other.release_no_count()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = other.release_no_count();
        }
        return *this;
    }

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return IsValid(); }

    // Closes what is held and takes ownership of value.
    void reset(Type value = Traits::Invalid()) noexcept {
        Type old = std::exchange(value_, value);
        if (old != Traits::Invalid()) {
            Traits::Close(old);
            --live_;
        }
        if (IsValid()) ++live_;
    }

    // Gives up ownership without closing.
    [[nodiscard]] Type release() noexcept {
        if (IsValid()) --live_;
        return std::exchange(value_, Traits::Invalid());
    }

    // Owners of this kind alive in the process.
    static long LiveCount() noexcept { return live_.load(); }

private:
    bool IsValid() const noexcept { return value_ != Traits::Invalid(); }
    Type release_no_count() noexcept { return std::exchange(value_, Traits::Invalid()); }

    Type value_ = Traits::Invalid();
    inline static std::atomic<long> live_{0};
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

// Threads and events close like any kernel handle but are counted apart.
struct ThreadHandleTraits : KernelHandleTraits {};
struct EventHandleTraits : KernelHandleTraits {};

// Files and find handles use INVALID_HANDLE_VALUE for "none".
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};

struct HookTraits {
    using Type = HHOOK;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::UnhookWindowsHookEx(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::FreeLibrary(h); }
};

struct WindowTraits {
    using Type = HWND;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyWindow(h); }
};

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};

// Thread timers have no window: the id alone names them.
struct ThreadTimerTraits {
    using Type = UINT_PTR;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type id) noexcept { ::KillTimer(nullptr, id); }
};

using UniqueHandle = UniqueAny<KernelHandleTraits>;
using UniqueThread = UniqueAny<ThreadHandleTraits>;
using UniqueEvent = UniqueAny<EventHandleTraits>;
using UniqueFile = UniqueAny<FileHandleTraits>;
using UniqueFind = UniqueAny<FindHandleTraits>;
using UniqueHook = UniqueAny<HookTraits>;
using UniqueModule = UniqueAny<ModuleTraits>;
using UniqueWindow = UniqueAny<WindowTraits>;
using UniqueGdiObject = UniqueAny<GdiObjectTraits>;
using UniqueThreadTimer = UniqueAny<ThreadTimerTraits>;
using UniqueRegistryKey = UniqueAny<RegistryKeyTraits>;

}  // namespace win
