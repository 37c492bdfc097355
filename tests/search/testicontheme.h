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

// Icons laid out as installed applications ship them, in the sandbox's XDG data
// folder (where the icon lookup finds them): an SVG only in
// hicolor/scalable/apps, a PNG in hicolor/48x48/apps, an XPM only in the plain
// pixmaps folder, a PNG named by its absolute path, an SVG that is not one, and
// a session theme "tolvanesession" (which does not inherit hicolor) with an icon
// that hicolor has too. Every picture has a pattern of its own. Install before
// the first icon lookup: Qt reads a theme's folders once.
struct RealWorldIcons
{
    QString svg; // icon name, and its file
    QString svgFile;
    QString png;
    QString pngFile;
    QString pixmap;
    QString pixmapFile;
    QString absoluteFile;
    QString broken;
    QString themed;        // in the session theme and in hicolor
    QString themedFile;    // the session theme's picture
    QString themedHicolor; // hicolor's picture
    QString missing = QStringLiteral("tolvane-test-nowhere");

    static QImage pattern(int size, QColor fill, QColor mark)
    {
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(fill);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size / 2; ++x)
                if ((x + y) % 6 < 3)
                    image.setPixelColor(x, y, mark);
        return image;
    }

    static RealWorldIcons install()
    {
        RealWorldIcons icons;
        const QString data = TestSandbox::path(QStringLiteral("xdg-data-dirs"));
        const QString hicolor = data + QStringLiteral("/icons/hicolor");
        const QString session = data + QStringLiteral("/icons/tolvanesession");
        for (const QString &dir :
             {hicolor + QStringLiteral("/scalable/apps"), hicolor + QStringLiteral("/48x48/apps"),
              session + QStringLiteral("/48x48/apps"), data + QStringLiteral("/pixmaps"),
              TestSandbox::path(QStringLiteral("files"))})
            QDir().mkpath(dir);
        const auto write = [](const QString &path, const QByteArray &contents) {
            QFile file(path);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(contents);
        };
        write(hicolor + QStringLiteral("/index.theme"),
              "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps,scalable/apps\n\n"
              "[48x48/apps]\nSize=48\nType=Threshold\n\n"
              "[scalable/apps]\nSize=48\nMinSize=16\nMaxSize=512\nType=Scalable\n");
        write(
            session + QStringLiteral("/index.theme"),
            "[Icon Theme]\nName=Session\nDirectories=48x48/apps\n\n[48x48/apps]\nSize=48\nType=Threshold\n");

        icons.svg = QStringLiteral("tolvane-test-svgonly");
        icons.svgFile = hicolor + QStringLiteral("/scalable/apps/") + icons.svg + QStringLiteral(".svg");
        write(icons.svgFile, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" "
                             "viewBox=\"0 0 48 48\"><rect width=\"48\" height=\"48\" rx=\"8\" "
                             "fill=\"#1e78d2\"/><circle cx=\"24\" cy=\"24\" r=\"13\" fill=\"#ffd200\"/>"
                             "<rect x=\"8\" y=\"34\" width=\"32\" height=\"6\" fill=\"#ffffff\"/></svg>\n");
        icons.png = QStringLiteral("tolvane-test-pngsized");
        icons.pngFile = hicolor + QStringLiteral("/48x48/apps/") + icons.png + QStringLiteral(".png");
        pattern(48, QColor(30, 150, 60), QColor(240, 240, 240)).save(icons.pngFile);
        icons.pixmap = QStringLiteral("tolvane-test-pixmap");
        icons.pixmapFile = data + QStringLiteral("/pixmaps/") + icons.pixmap + QStringLiteral(".xpm");
        pattern(32, QColor(200, 60, 40), QColor(20, 20, 20)).save(icons.pixmapFile, "XPM");
        icons.absoluteFile = TestSandbox::path(QStringLiteral("files/tolvane-test-absolute.png"));
        pattern(64, QColor(130, 50, 170), QColor(250, 200, 0)).save(icons.absoluteFile);
        icons.broken = QStringLiteral("tolvane-test-broken");
        write(hicolor + QStringLiteral("/scalable/apps/") + icons.broken + QStringLiteral(".svg"),
              "this is not a picture\n");
        icons.themed = QStringLiteral("tolvane-test-themed");
        icons.themedFile = session + QStringLiteral("/48x48/apps/") + icons.themed + QStringLiteral(".png");
        pattern(48, QColor(0, 120, 120), QColor(255, 120, 0)).save(icons.themedFile);
        icons.themedHicolor =
            hicolor + QStringLiteral("/48x48/apps/") + icons.themed + QStringLiteral(".png");
        pattern(48, QColor(120, 120, 0), QColor(0, 0, 255)).save(icons.themedHicolor);
        return icons;
    }
};

// The largest difference of one colour channel between two pictures of one size
// (255 when the sizes differ).
inline int largestDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 255;
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            most = qMax(most, qMax(qAbs(p.red() - q.red()),
                                   qMax(qAbs(p.green() - q.green()), qAbs(p.blue() - q.blue()))));
        }
    return most;
}

} // namespace TestIconTheme
