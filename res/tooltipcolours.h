#pragma once

#include <QColor>
#include <QPalette>

// Tool tips must be readable on every desktop: their text and background at a
// contrast of at least 4.5 : 1 (the usual rule for body text).
namespace ToolTipColours {

inline constexpr double MinimumContrast = 4.5;

// The contrast ratio of two colours, 1 to 21, from their relative luminance.
double contrast(const QColor &a, const QColor &b);

// The tool-tip palette to use: `desktop`'s own when its tool-tip text and base
// contrast enough, else dark text on a pale yellow background.
QPalette readable(const QPalette &desktop);

} // namespace ToolTipColours
