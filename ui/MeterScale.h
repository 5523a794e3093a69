// From a peak to a bar: the attenuation in dB below full scale, and the bar's height on a
// 24 dB scale in whole 3-pixel steps.
#pragma once

#include <windows.h>

namespace ombrel {

// The double nearest 1/32767: a peak of 32767 is 0 dB.
constexpr double kFullScaleReciprocal = 3.051850947599719e-05;
// Attenuation shown for a silent block: far below the scale's -24 dB.
constexpr double kSilenceAttenuation = 100.0;
// The double just below 1/24 that turns dB into a share of the scale.
constexpr double kOneTwentyFourth = 0.041666666666666664;

// |20 log10(peak / 32767)| in dB, worked in x87 extended precision whatever the calling
// thread's precision setting; kSilenceAttenuation for a peak of 0 (or below).
double PeakAttenuation(LONG peak) noexcept;

// Where the bars go in a control of width x height pixels.
struct MeterGeometry {
    int barWidth;     // (width - 3) / 2, 0 when the control is too narrow for a bar
    int scaleHeight;  // e: the full bar, (height - 2) / 3 whole steps of 3 pixels
};
MeterGeometry MeterGeometryFor(int width, int height) noexcept;

// Height of a bar for attenuation dB on a scale of scaleHeight pixels: a multiple of 3 from
// 0 (-24 dB or below, or no number at all) to scaleHeight (0 dB).
int BarHeight(double attenuation, int scaleHeight) noexcept;

}  // namespace ombrel
