#include "ui/LevelMeter.h"

namespace ombrel {

PeakLevels _peakLevels;

void ComputePeaks(const void*, int, int, int) noexcept {}
void BuildGradientImage(HWND) {}
void DestroyGradientImage() {}
void DrawMeter(double, double) {}

}  // namespace ombrel
