#include "spritestyle.h"

#include "scaledimages.h"

namespace Sprites {

QString buttonStyle(const Sprite &sprite, const QString &extra)
{
    const auto rule = [&](const char *selector, const char *offsets) {
        return QStringLiteral("%1 {border-image: url(%2) %3;%4}")
            .arg(QLatin1String(selector), QLatin1String(sprite.url), QLatin1String(offsets), extra);
    };
    return ScaledImages::styleSheet(rule("QPushButton", sprite.normal) +
                                        rule("QPushButton:hover:!pressed", sprite.hovered) +
                                        rule("QPushButton:hover:pressed", sprite.pressed),
                                    ScaledImages::applicationRatio());
}

} // namespace Sprites
