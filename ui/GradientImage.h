// The segmented colour column the bars are copied from. One image for the plug-in: built with
// the main window (user-interface thread), copied from by every drawing pass (meter thread),
// destroyed with the window. One lock keeps a pass and the destruction or a rebuild apart.
#pragma once

#include <windows.h>

namespace ombrel {

// Replaces the image with one for a meter control of width x height pixels: (width - 3) / 2
// wide, height - 2 high. A control too small for a bar (width below 5 or height below 3)
// gets no image at all.
void BuildGradientImageForSize(int width, int height);

// The same from the control's client size.
void BuildGradientImageFor(HWND control);

// Holds the image for the length of a drawing pass: DestroyGradientImage and a rebuild wait
// until the lease is given back. Bitmap() is null when there is no image.
class GradientLease {
public:
    GradientLease() noexcept;
    ~GradientLease();
    GradientLease(const GradientLease&) = delete;
    GradientLease& operator=(const GradientLease&) = delete;

    HBITMAP Bitmap() const noexcept { return bitmap_; }
    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }

private:
    HBITMAP bitmap_;
    int width_;
    int height_;
};

}  // namespace ombrel
