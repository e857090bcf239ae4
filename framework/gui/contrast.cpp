#include "framework/gui/contrast.h"

#include <cmath>

namespace fw {

namespace {

double channel(double value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

} // namespace

double RelativeLuminance(const QColor& colour)
{
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double ContrastRatio(double luminanceA, double luminanceB)
{
    return (std::max(luminanceA, luminanceB) + 0.05) / (std::min(luminanceA, luminanceB) + 0.05);
}

double ContrastRatio(const QColor& a, const QColor& b) { return ContrastRatio(RelativeLuminance(a), RelativeLuminance(b)); }

QColor Contrasting(const QColor& preferred, const QColor& background, const QColor& toward, double ratio)
{
    constexpr int kSteps = 32;
    for (int step = 0; step < kSteps; ++step) {
        const double t = double(step) / kSteps;
        const QColor mix = QColor::fromRgbF(float(preferred.redF() * (1 - t) + toward.redF() * t),
                                            float(preferred.greenF() * (1 - t) + toward.greenF() * t),
                                            float(preferred.blueF() * (1 - t) + toward.blueF() * t));
        if (ContrastRatio(mix, background) >= ratio)
            return mix;
    }
    return toward;
}

} // namespace fw
