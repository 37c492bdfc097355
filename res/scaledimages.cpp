#include "scaledimages.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmapCache>
#include <QRegularExpression>

namespace ScaledImages {

int artworkScale(qreal devicePixelRatio)
{
    return devicePixelRatio > 1.0 ? 2 : 1;
}

qreal applicationRatio()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? qGuiApp->devicePixelRatio() : 1.0;
}

QString path(const QString &resource, int scale)
{
    if (scale < 2)
        return resource;
    // Qt's convention: "@2x" goes before the file name's extension, if it has one.
    const qsizetype slash = resource.lastIndexOf(QLatin1Char('/'));
    qsizetype dot = resource.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash)
        dot = resource.size();
    const QString scaled = QString(resource).insert(dot, QStringLiteral("@2x"));
    return QFile::exists(scaled) ? scaled : resource;
}

QImage image(const QString &resource, qreal devicePixelRatio)
{
    const QString file = path(resource, artworkScale(devicePixelRatio));
    QImage result(file);
    if (file != resource)
        result.setDevicePixelRatio(2);
    return result;
}

QPixmap pixmap(const QString &resource, qreal devicePixelRatio)
{
    const QString file = path(resource, artworkScale(devicePixelRatio));
    if (file == resource)
        return QPixmap(file); // through the pixmap cache, as before
    // The 2x pixmap is kept in the pixmap cache with its ratio already set: setting the
    // ratio on a pixmap shared with the cache would copy all its pixels, on every paint.
    const QString key = QStringLiteral("tolvane-2x:") + file;
    QPixmap result;
    if (QPixmapCache::find(key, &result))
        return result;
    result = QPixmap::fromImage(QImage(file));
    result.setDevicePixelRatio(2);
    QPixmapCache::insert(key, result);
    return result;
}

void drawBackground(QPainter &painter, const QString &resource, qreal devicePixelRatio)
{
    const QPixmap background = pixmap(resource, devicePixelRatio);
    if (background.isNull())
        return;
    painter.save();
    // At 1 and 2 the pixels map one to one; at 1.25 or 1.5 the 2x image is scaled
    // down, which without filtering would drop whole rows and columns of the text.
    painter.setRenderHint(QPainter::SmoothPixmapTransform,
                          devicePixelRatio != qreal(artworkScale(devicePixelRatio)));
    painter.drawPixmap(QRectF(QPointF(0, 0), background.deviceIndependentSize()), background,
                       QRectF(QPointF(0, 0), background.size()));
    painter.restore();
}

QString styleSheet(const QString &sheet, qreal devicePixelRatio)
{
    const int scale = artworkScale(devicePixelRatio);
    if (scale == 1)
        return sheet;
    static const QRegularExpression slicedImage(
        QStringLiteral(R"re((border-image\s*:\s*url\(\s*)"?([^"\s)]+)"?(\s*\))((?:\s+\d+)+))re"));
    QString out;
    qsizetype done = 0;
    for (auto it = slicedImage.globalMatch(sheet); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString resource = m.captured(2);
        const QString scaled = path(resource, scale);
        if (scaled == resource)
            continue; // no 2x image: the 1x one keeps its offsets
        static const QRegularExpression blanks(QStringLiteral(R"(\s+)"));
        QStringList offsets;
        for (const QString &number : m.captured(4).split(blanks, Qt::SkipEmptyParts))
            offsets << QString::number(number.toInt() * scale);
        out += QStringView(sheet).mid(done, m.capturedStart(0) - done);
        // Quoted: Qt's style-sheet parser rejects an unquoted URL with "@" in it.
        out += m.captured(1) + QLatin1Char('"') + scaled + QLatin1Char('"') + m.captured(3) +
               QLatin1Char(' ') + offsets.join(QLatin1Char(' '));
        done = m.capturedEnd(0);
    }
    out += QStringView(sheet).mid(done);
    return out;
}

} // namespace ScaledImages
