// Draws every image Tolvane compiles in (res/images/*.png, each at 1x as NAME.png and
// at twice the pixels as NAME@2x.png), its window icon file (main.ico) and the
// application icon that installs into the hicolor icon theme (PNG files of 16 to
// 256 pixels and an SVG file). Run by hand after changing the artwork, then commit
// the output:
//
//   cmake --build <build> --target tolvane_artwork
//   QT_QPA_PLATFORM=offscreen <build>/bin/tolvane_artwork res/images res/main.ico res/icons
//
// The first argument is the folder for the PNG files, the optional second one the
// icon file (default: main.ico beside that folder's parent), the optional third one
// the icon theme folder (default: icons beside that folder's parent). Output is
// deterministic: the same program writes the same bytes.

#include "artwork.h"
#include "look.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageWriter>
#include <QtEndian>

#include <algorithm>
#include <cstdio>

namespace {

// Qt's ico writer stores one image per file; a window icon wants several sizes, so
// the single-image files are merged into one directory of entries.
QByteArray iconFile(const std::vector<int> &sizes)
{
    struct Part
    {
        QByteArray entry; // the 16-byte directory entry
        QByteArray data;
    };
    std::vector<Part> parts;
    for (int size : sizes) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "ico");
        const QImage icon = Artwork::appIcon(size).convertToFormat(QImage::Format_ARGB32);
        if (!writer.write(icon))
            return {};
        const QByteArray single = buffer.data();
        if (single.size() < 22 || qFromLittleEndian<quint16>(single.constData() + 4) != 1)
            return {};
        const quint32 length = qFromLittleEndian<quint32>(single.constData() + 6 + 8);
        const quint32 offset = qFromLittleEndian<quint32>(single.constData() + 6 + 12);
        if (offset + length > quint32(single.size()))
            return {};
        QByteArray data = single.mid(offset, length);
        // The writer leaves the row padding of the transparency mask unset, so the
        // mask is rebuilt here from the alpha channel: set bits mark clear pixels.
        const int stride = (size + 31) / 32 * 4;
        const int maskAt = 40 + size * size * 4;
        if (data.size() != maskAt + stride * size)
            return {};
        for (int row = 0; row < size; ++row) {
            char *bits = data.data() + maskAt + row * stride;
            std::fill(bits, bits + stride, '\0');
            const int y = size - 1 - row; // rows are stored bottom-up
            for (int x = 0; x < size; ++x) {
                if (qAlpha(icon.pixel(x, y)) == 0)
                    bits[x / 8] = char(bits[x / 8] | (0x80 >> (x % 8)));
            }
        }
        parts.push_back({single.mid(6, 16), data});
    }
    QByteArray out(6, '\0');
    qToLittleEndian<quint16>(1, out.data() + 2); // type: icon
    qToLittleEndian<quint16>(quint16(parts.size()), out.data() + 4);
    quint32 offset = quint32(6 + 16 * parts.size());
    for (Part &part : parts) {
        qToLittleEndian<quint32>(offset, part.entry.data() + 12);
        out += part.entry;
        offset += quint32(part.data.size());
    }
    for (const Part &part : parts)
        out += part.data;
    return out;
}

// The application id, which names the installed desktop entry and its icon.
const char *const AppId = "org.example.Tolvane";
const int ThemeSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !file.open(QIODevice::WriteOnly) ||
        file.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The application icon in the hicolor theme: <folder>/hicolor/NxN/apps/ID.png and
// <folder>/hicolor/scalable/apps/ID.svg.
bool writeThemeIcons(const QString &folder)
{
    for (int size : ThemeSizes) {
        const QString path = QStringLiteral("%1/hicolor/%2x%2/apps/%3.png").arg(folder).arg(size).arg(AppId);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.setQuality(0);
        if (!writer.write(Artwork::appIcon(size).convertToFormat(QImage::Format_ARGB32)) ||
            !writeFile(path, buffer.data()))
            return false;
    }
    return writeFile(QStringLiteral("%1/hicolor/scalable/apps/%2.svg").arg(folder, QLatin1String(AppId)),
                     Look::logoSvg());
}

bool writePng(const QDir &dir, const Artwork::Entry &entry, const QString &suffix)
{
    QImageWriter writer(dir.filePath(entry.name + suffix + QStringLiteral(".png")), "png");
    writer.setQuality(0); // for PNG: the smallest file, the pixels are the same
    if (!writer.write(entry.image.convertToFormat(QImage::Format_ARGB32))) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(entry.name),
                     qPrintable(writer.errorString()));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Text is drawn with the platform's font machinery, so a GUI application is
    // needed; no window is ever shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: tolvane_artwork <image folder> [icon file] [icon theme folder]\n");
        return 2;
    }

    // Use the DejaVu files themselves, so no font substitution can change the output.
    for (const char *face : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"}) {
        const QString path = QStringLiteral("/usr/share/fonts/truetype/dejavu/") + QLatin1String(face);
        if (QFontDatabase::addApplicationFont(path) < 0) {
            std::fprintf(stderr, "missing font %s (package fonts-dejavu-core)\n", qPrintable(path));
            return 1;
        }
    }

    QDir dir(args.at(1));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QString icoPath =
        args.size() > 2 ? args.at(2) : QFileInfo(dir.absolutePath()).dir().filePath("main.ico");
    const QString themePath =
        args.size() > 3 ? args.at(3) : QFileInfo(dir.absolutePath()).dir().filePath("icons");

    // The same drawing at 1x and at 2x; the 2x files carry Qt's "@2x" suffix.
    int written = 0;
    for (int scale : {1, 2}) {
        Look::setScale(scale);
        const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
        for (const auto &group : {Artwork::sprites(), Artwork::backgrounds(), Artwork::helpPages()}) {
            for (const Artwork::Entry &entry : group) {
                if (!writePng(dir, entry, suffix))
                    return 1;
                ++written;
            }
        }
    }
    Look::setScale(1);

    const QByteArray ico = iconFile({16, 24, 32, 48, 64, 128, 256});
    QFile file(icoPath);
    if (ico.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(ico) != ico.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(icoPath));
        return 1;
    }
    if (!writeThemeIcons(themePath))
        return 1;
    std::printf("%d images in %s, icon %s, theme icons in %s\n", written, qPrintable(dir.absolutePath()),
                qPrintable(icoPath), qPrintable(themePath));
    return 0;
}
