// Device contexts, selections and image lists. Each kind of DC is released differently
// (DeleteDC for a memory DC, ReleaseDC for a window's), so each has its own owner; all count
// their live instances like the handles of UniqueAny.h.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <utility>

#include "win/UniqueAny.h"

namespace win {

struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteDC(h); }
};

struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::ImageList_Destroy(h); }
};

using UniqueMemoryDc = UniqueAny<MemoryDcTraits>;
using UniqueImageList = UniqueAny<ImageListTraits>;

// A window's DC from GetDC, given back with ReleaseDC to the same window.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {
        if (dc_) ++live_;
    }
    ~WindowDc() {
        if (dc_) {
            ::ReleaseDC(window_, dc_);
            --live_;
        }
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

    static long LiveCount() noexcept { return live_.load(); }

private:
    HWND window_;
    HDC dc_;
    inline static std::atomic<long> live_{0};
};

// Selects an object into a DC and puts the previous one back, so the object can be deleted.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectGuard() {
        if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

    explicit operator bool() const noexcept { return previous_ && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace win
