#include "ui/GradientImage.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "ui/LevelMeter.h"
#include "win/CriticalSection.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

win::CriticalSection _gradientLock;
win::UniqueGdiObject _gradientImage;  // a 32-bit DIB section, or none
int _gradientWidth = 0;
int _gradientHeight = 0;

constexpr uint32_t kPureRed = 0x00FF0000;  // DIB pixels are 0x00RRGGBB

// Row y of the image for a control height: the top segment red, the others from yellow
// (green near 255) just below the top to orange (green near 128) at the bottom.
uint32_t SegmentColour(int y, int controlHeight, int imageHeight) {
    if (y == 0) return kPureRed;
    const int t = (controlHeight - y - 2) * 127 / imageHeight;
    const uint32_t green = static_cast<uint32_t>(128 + t) % 256;
    return 0x00FF0000 | (green << 8);
}

// Segments of two rows every three rows over the full width; the third row stays black.
void PaintSegments(uint32_t* pixels, int width, int height, int controlHeight) {
    std::memset(pixels, 0, sizeof(uint32_t) * width * height);
    for (int y = 0; y < height; y += 3) {
        const uint32_t colour = SegmentColour(y, controlHeight, height);
        for (int row = y; row < y + 2 && row < height; ++row) {
            // Bottom-up DIB: image row 0 is the last row in memory.
            uint32_t* line = pixels + static_cast<size_t>(height - 1 - row) * width;
            for (int x = 0; x < width; ++x) line[x] = colour;
        }
    }
}

win::UniqueGdiObject CreateGradient(int width, int height, int controlHeight) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win::UniqueGdiObject image(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (image && bits) PaintSegments(static_cast<uint32_t*>(bits), width, height, controlHeight);
    return image;
}

void ReplaceGradient(win::UniqueGdiObject image, int width, int height) {
    win::UniqueGdiObject old;
    {
        win::CsLock lock(_gradientLock);
        old = std::exchange(_gradientImage, std::move(image));
        _gradientWidth = _gradientImage ? width : 0;
        _gradientHeight = _gradientImage ? height : 0;
    }
}

}  // namespace

void BuildGradientImageForSize(int width, int height) {
    const int imageWidth = (width - 3) / 2;
    const int imageHeight = height - 2;
    win::UniqueGdiObject image;
    // Negative or zero sizes make no image: a DIB of negative height would be a top-down one.
    if (imageWidth > 0 && imageHeight > 0) image = CreateGradient(imageWidth, imageHeight, height);
    ReplaceGradient(std::move(image), imageWidth, imageHeight);
}

void BuildGradientImageFor(HWND control) {
    RECT client{};
    if (control == nullptr || !::GetClientRect(control, &client)) {
        ReplaceGradient(win::UniqueGdiObject(), 0, 0);
        return;
    }
    BuildGradientImageForSize(client.right - client.left, client.bottom - client.top);
}

void DestroyGradientImage() { ReplaceGradient(win::UniqueGdiObject(), 0, 0); }

GradientLease::GradientLease() noexcept {
    _gradientLock.Enter();
    bitmap_ = static_cast<HBITMAP>(_gradientImage.get());
    width_ = _gradientWidth;
    height_ = _gradientHeight;
}

GradientLease::~GradientLease() { _gradientLock.Leave(); }

}  // namespace ombrel
