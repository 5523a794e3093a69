#include "ui/MeterDrawing.h"

#include <algorithm>

#include "ui/GradientImage.h"
#include "ui/MeterScale.h"
#include "win/GdiWrappers.h"
#include "win/UniqueAny.h"

namespace ombrel {
namespace {

// The bar of height h stands on row e + 1: image rows e - h to e - 1 go to the buffer two
// rows lower. Rows and columns the image does not have (a control grown since it was built)
// stay black.
void CopyBar(HDC back, HDC gradient, const GradientLease& image, int x, int barWidth, int scaleHeight,
             int height) {
    const int top = scaleHeight - height;
    const int bottom = std::min(scaleHeight, image.Height());
    const int width = std::min(barWidth, image.Width());
    if (bottom <= top || width <= 0) return;
    ::BitBlt(back, x, top + 2, width, bottom - top, gradient, 0, top, SRCCOPY);
}

void CopyBars(HDC back, HDC target, const MeterGeometry& geometry, double left, double right) {
    if (geometry.barWidth <= 0 || geometry.scaleHeight <= 0) return;
    const int leftHeight = BarHeight(left, geometry.scaleHeight);
    const int rightHeight = BarHeight(right, geometry.scaleHeight);
    if (leftHeight == 0 && rightHeight == 0) return;
    GradientLease image;
    if (!image.Bitmap()) return;
    win::UniqueMemoryDc gradient(::CreateCompatibleDC(target));
    win::SelectGuard selected(gradient.get(), image.Bitmap());
    if (!selected) return;
    CopyBar(back, gradient.get(), image, 1, geometry.barWidth, geometry.scaleHeight, leftHeight);
    CopyBar(back, gradient.get(), image, geometry.barWidth + 2, geometry.barWidth, geometry.scaleHeight,
            rightHeight);
}

}  // namespace

void RenderMeter(HDC target, int width, int height, double leftAttenuation, double rightAttenuation) {
    if (target == nullptr || width <= 0 || height <= 0) return;
    win::UniqueMemoryDc back(::CreateCompatibleDC(target));
    win::UniqueGdiObject buffer(::CreateCompatibleBitmap(target, width, height));
    if (!back || !buffer) return;
    win::SelectGuard selected(back.get(), buffer.get());
    if (!selected) return;
    ::PatBlt(back.get(), 0, 0, width, height, BLACKNESS);
    CopyBars(back.get(), target, MeterGeometryFor(width, height), leftAttenuation, rightAttenuation);
    ::BitBlt(target, 0, 0, width, height, back.get(), 0, 0, SRCCOPY);
}

void DrawMeterInto(HWND control, double leftAttenuation, double rightAttenuation) {
    RECT client{};
    if (control == nullptr || !::GetClientRect(control, &client)) return;
    win::WindowDc dc(control);
    if (!dc) return;
    RenderMeter(dc.get(), client.right - client.left, client.bottom - client.top, leftAttenuation,
                rightAttenuation);
}

}  // namespace ombrel
