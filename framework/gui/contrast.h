#pragma once

#include <QColor>

namespace fw {

// The relative luminance of an opaque colour, from 0 (black) to 1 (white).
double RelativeLuminance(const QColor& colour);

// The contrast ratio of two opaque colours by their relative luminance,
// from 1 (the same) to 21 (black on white), as accessibility guidelines
// measure it: lines and icons need 3 against what is behind them.
double ContrastRatio(const QColor& a, const QColor& b);
// The same, of two relative luminances.
double ContrastRatio(double luminanceA, double luminanceB);

// `preferred` where it stands out from `background` by `ratio`; otherwise
// the mix of it with `toward` closest to it that does, or `toward` itself
// when none does.
QColor Contrasting(const QColor& preferred, const QColor& background, const QColor& toward, double ratio = 3.0);

} // namespace fw
