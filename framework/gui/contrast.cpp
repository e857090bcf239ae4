#include "framework/gui/contrast.h"

#include <cmath>

namespace fw {

namespace {

double channel(double value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& colour)
{
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

} // namespace

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

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
