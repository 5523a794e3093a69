#include "ui/MeterScale.h"

#include <float.h>

#include <cmath>

namespace ombrel {
namespace {

constexpr long double kLog10Of2 = 0.301029995663981195213738894724493027L;

// Threads start with the x87 unit rounding to 53 bits; the attenuation wants its 64.
class ExtendedPrecision {
public:
    ExtendedPrecision() noexcept : saved_(::_controlfp(0, 0)) { ::_controlfp(_PC_64, _MCW_PC); }
    ~ExtendedPrecision() { ::_controlfp(saved_, _MCW_PC); }
    ExtendedPrecision(const ExtendedPrecision&) = delete;
    ExtendedPrecision& operator=(const ExtendedPrecision&) = delete;

private:
    unsigned int saved_;
};

// The x87 unit keeps intermediates wider than a double; the bar's arithmetic is double's,
// so each step is stored to memory and read back.
double AsDouble(double value) noexcept {
    volatile double stored = value;
    return stored;
}

}  // namespace

double PeakAttenuation(LONG peak) noexcept {
    if (peak <= 0) return kSilenceAttenuation;
    ExtendedPrecision precision;
    const long double ratio =
        static_cast<long double>(peak) * static_cast<long double>(kFullScaleReciprocal);
    const long double decibels = 20.0L * (std::log2(ratio) * kLog10Of2);
    return static_cast<double>(std::fabs(decibels));
}

MeterGeometry MeterGeometryFor(int width, int height) noexcept {
    MeterGeometry geometry{};
    geometry.barWidth = width >= 3 ? (width - 3) / 2 : 0;
    geometry.scaleHeight = height >= 2 ? (height - 2) / 3 * 3 : 0;
    return geometry;
}

int BarHeight(double attenuation, int scaleHeight) noexcept {
    if (scaleHeight <= 0) return 0;
    double share = AsDouble(24.0 - attenuation);
    share = AsDouble(share * scaleHeight);
    share = AsDouble(share * kOneTwentyFourth);
    const double rounded = std::floor(AsDouble(share + 0.5));
    // NaN fails both comparisons and reads as an empty bar.
    int steps = 0;
    if (rounded >= scaleHeight) {
        steps = scaleHeight;
    } else if (rounded > 0) {
        steps = static_cast<int>(rounded);
    }
    return steps / 3 * 3;
}

}  // namespace ombrel
