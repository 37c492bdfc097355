#pragma once

#include "testmain.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QMap>

// A small icon theme in the sandbox: every icon is one solid colour, so a test can
// tell from the pixels which icon was drawn.
namespace TestIconTheme {

inline const QMap<QString, QColor> &icons()
{
    static const QMap<QString, QColor> map = {
        {QStringLiteral("text-plain"), QColor(220, 0, 0)},
        {QStringLiteral("text-x-generic"), QColor(0, 170, 170)},
        {QStringLiteral("application-x-desktop"), QColor(0, 160, 0)},
        {QStringLiteral("application-x-executable"), QColor(0, 0, 200)},
        {QStringLiteral("application-x-ms-dos-executable"), QColor(0, 0, 200)},
        {QStringLiteral("tolvane-test-app"), QColor(200, 0, 200)},
    };
    return map;
}

inline void install()
{
    const QString root = TestSandbox::path(QStringLiteral("icons"));
    const QString theme = root + QStringLiteral("/tolvanetest");
    QDir().mkpath(theme);
    QFile index(theme + QStringLiteral("/index.theme"));
    if (index.open(QIODevice::WriteOnly)) {
        index.write("[Icon Theme]\nName=tolvanetest\nDirectories=16x16/apps,32x32/apps\n\n"
                    "[16x16/apps]\nSize=16\nType=Fixed\n\n[32x32/apps]\nSize=32\nType=Fixed\n");
        index.close();
    }
    for (int size : {16, 32}) {
        const QString dir = theme + QStringLiteral("/%1x%1/apps").arg(size);
        QDir().mkpath(dir);
        for (auto it = icons().cbegin(); it != icons().cend(); ++it) {
            QImage image(size, size, QImage::Format_ARGB32);
            image.fill(it.value());
            image.save(dir + QLatin1Char('/') + it.key() + QStringLiteral(".png"));
        }
    }
    QIcon::setThemeSearchPaths({root});
    QIcon::setThemeName(QStringLiteral("tolvanetest"));
}

// The colour in the middle of the icon's 16 px pixmap, or an invalid colour for a null icon.
inline QColor centreColour(const QIcon &icon, int size = 16)
{
    if (icon.isNull())
        return QColor();
    const QImage image = icon.pixmap(size, size).toImage();
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace TestIconTheme
