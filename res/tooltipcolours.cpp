#include "tooltipcolours.h"

#include <QtMath>

namespace {

double channel(double value)
{
    return value <= 0.03928 ? value / 12.92 : qPow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &colour)
{
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

} // namespace

namespace ToolTipColours {

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

QPalette readable(const QPalette &desktop)
{
    QPalette palette = desktop;
    const QColor text = desktop.color(QPalette::Inactive, QPalette::ToolTipText);
    const QColor base = desktop.color(QPalette::Inactive, QPalette::ToolTipBase);
    if (contrast(text, base) >= MinimumContrast)
        return palette;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::ToolTipBase, QColor(0xff, 0xfb, 0xdc));
        palette.setColor(group, QPalette::ToolTipText, QColor(0x1d, 0x26, 0x31));
    }
    return palette;
}

} // namespace ToolTipColours
