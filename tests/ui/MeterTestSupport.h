// Pixels and windows for the level meter's tests: a canvas the tests own and read back, a
// visible test window with a meter control, and the bars as the pixels show them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/ResourceIds.h"
#include "win/GdiWrappers.h"
#include "win/UniqueAny.h"

namespace ombrel::test {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kRed = 0xFF0000;
// What the meter never paints: a pixel still this colour was not drawn.
constexpr uint32_t kPoison = 0x3C5A78;

// Red 255, blue 0 and the given green: the segments below the red top one.
constexpr uint32_t Segment(uint32_t green) { return 0xFF0000 | (green << 8); }

// A width x height top-down 32-bit DIB selected into a memory DC, painted kPoison; pixels
// read as 0xRRGGBB.
class PixelCanvas {
public:
    PixelCanvas(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_.reset(::CreateCompatibleDC(nullptr));
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        bits_ = static_cast<uint32_t*>(bits);
        selected_.emplace(dc_.get(), bitmap_.get());
        Fill(kPoison);
    }

    bool Ready() const { return bits_ != nullptr && selected_ && static_cast<bool>(*selected_); }
    HDC Dc() const { return dc_.get(); }
    int Width() const { return width_; }
    int Height() const { return height_; }

    void Fill(uint32_t colour) {
        ::GdiFlush();
        for (int i = 0; i < width_ * height_; ++i) bits_[i] = colour;
    }

    uint32_t At(int x, int y) const {
        ::GdiFlush();
        return bits_[y * width_ + x] & 0xFFFFFF;
    }

private:
    int width_;
    int height_;
    win::UniqueMemoryDc dc_;
    win::UniqueGdiObject bitmap_;
    uint32_t* bits_ = nullptr;
    std::optional<win::SelectGuard> selected_;
};

// Copies a window's client area, as its own DC holds it, into a canvas.
inline void ReadWindow(HWND window, PixelCanvas& canvas) {
    win::WindowDc dc(window);
    ::BitBlt(canvas.Dc(), 0, 0, canvas.Width(), canvas.Height(), dc.get(), 0, 0, SRCCOPY);
}

// Height of the bar whose left column is x, in a meter whose full bar is scaleHeight: the
// bar stands on row scaleHeight + 1, so its top row gives its height. 0 when the column is
// black from top to bottom.
inline int BarHeightAt(const PixelCanvas& canvas, int x, int scaleHeight) {
    for (int y = 0; y < canvas.Height(); ++y) {
        if (canvas.At(x, y) != kBlack) return scaleHeight + 2 - y;
    }
    return 0;
}

// Describes every pixel that breaks the layout of two bars of the given heights: black
// border columns, black outside the bars, segments of two coloured rows and one black row,
// each row of a bar one colour, both bars alike row by row. Empty when all is well.
inline std::string LayoutFaults(const PixelCanvas& canvas, int barWidth, int scaleHeight, int leftHeight,
                                int rightHeight) {
    std::string faults;
    auto fault = [&](int x, int y, const char* what) {
        if (faults.size() < 600) {
            char line[96];
            ::wsprintfA(line, "(%d,%d)=%06lX %s; ", x, y, static_cast<unsigned long>(canvas.At(x, y)), what);
            faults += line;
        }
    };
    for (int y = 0; y < canvas.Height(); ++y) {
        for (int x = 0; x < canvas.Width(); ++x) {
            const bool inLeft = x >= 1 && x <= barWidth;
            const bool inRight = x >= barWidth + 2 && x <= 2 * barWidth + 1;
            const int height = inLeft ? leftHeight : inRight ? rightHeight : 0;
            const int row = y - 2;  // the gradient's row shown here
            const bool inBar = (inLeft || inRight) && row >= scaleHeight - height && row < scaleHeight;
            const uint32_t pixel = canvas.At(x, y);
            if (!inBar) {
                if (pixel != kBlack) fault(x, y, "should be black");
            } else if (row % 3 == 2) {
                if (pixel != kBlack) fault(x, y, "segment gap should be black");
            } else if (pixel == kBlack || (pixel & 0xFF) != 0 || (pixel >> 16) != 0xFF) {
                fault(x, y, "should be red 255, blue 0");
            } else if (pixel != canvas.At(inLeft ? 1 : barWidth + 2, y)) {
                fault(x, y, "differs from its row");
            }
        }
    }
    return faults;
}

// A visible, topmost test window holding a plain static control of the meter's id and of
// exactly width x height client pixels, like the main window's black-framed control 1004.
class MeterWindow {
public:
    MeterWindow(int width, int height) {
        // Shown without activation: Wine without a window manager waits seconds for the focus
        // to come back when an active window is destroyed.
        parent_.reset(::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "STATIC", "", WS_POPUP,
                                        40, 40, width + 40, height + 40, nullptr, nullptr, nullptr, nullptr));
        control_ = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_BLACKFRAME, 20, 20, width,
                                     height, parent_.get(), reinterpret_cast<HMENU>(IDC_LEVEL_METER), nullptr,
                                     nullptr);
        ::ShowWindow(parent_.get(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(parent_.get());
        Settle();
    }

    HWND Parent() const { return parent_.get(); }
    HWND Control() const { return control_; }

    // Lets pending paints happen, so nothing repaints over what a test draws next.
    static void Settle() {
        for (int round = 0; round < 5; ++round) {
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
            ::Sleep(10);
        }
    }

private:
    win::UniqueWindow parent_;
    HWND control_ = nullptr;  // destroyed with its parent
};

}  // namespace ombrel::test
